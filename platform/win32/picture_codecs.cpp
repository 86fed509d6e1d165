// Pictures on Windows: the Windows Imaging Component decodes the file's first
// frame from memory into 32-bit BGRA strips, which the shrinker averages, and
// encodes the result as PNG. Only a decoder of the format that the file's
// signature names is used, never one that a program installed for others.
#include "platform/picture_fitting.h"

#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <utility>

namespace platform {
namespace picture {
namespace {

using Microsoft::WRL::ComPtr;

// The rows copied at a time: at most this many bytes of them.
constexpr std::size_t kStripBytes = 1u << 20;
// Far more than the PNG of a strip picture can take.
constexpr std::uint64_t kMaxPngBytes = 1u << 20;

// COM on the calling thread for as long as it lives: the multithreaded
// apartment if the thread had none (left again at the end), or the apartment
// that the thread is in already.
class ComApartment {
public:
  ComApartment() : mEntered(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(mEntered)) {
      ::CoUninitialize();
    }
  }
  ComApartment(const ComApartment &) = delete;
  ComApartment &operator=(const ComApartment &) = delete;

  bool Usable() const { return SUCCEEDED(mEntered) || mEntered == RPC_E_CHANGED_MODE; }

private:
  HRESULT mEntered;
};

ComPtr<IWICImagingFactory> CreateFactory() {
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory)))) {
    return nullptr;
  }
  return factory;
}

const GUID &ContainerOf(Format format) {
  switch (format) {
  case Format::Png:
    return GUID_ContainerFormatPng;
  case Format::Jpeg:
    return GUID_ContainerFormatJpeg;
  case Format::Gif:
    return GUID_ContainerFormatGif;
  case Format::Bmp:
    return GUID_ContainerFormatBmp;
  default:
    return GUID_ContainerFormatWebp;
  }
}

// The first frame of the file, read by the system's decoder of its format.
ComPtr<IWICBitmapFrameDecode> FirstFrame(IWICImagingFactory &factory, const std::string &bytes,
                                         Format format) {
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  GUID container{};
  ComPtr<IWICBitmapFrameDecode> frame;
  const GUID &wanted = ContainerOf(format);
  auto *data = reinterpret_cast<BYTE *>(const_cast<char *>(bytes.data()));
  if (FAILED(factory.CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(data, static_cast<DWORD>(bytes.size()))) ||
      FAILED(factory.CreateDecoder(wanted, &GUID_VendorMicrosoft, &decoder)) ||
      FAILED(decoder->GetContainerFormat(&container)) || container != wanted ||
      FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand)) ||
      FAILED(decoder->GetFrame(0, &frame))) {
    return nullptr;
  }
  return frame;
}

// Red and blue change places: BGRA becomes RGBA and back.
void SwapRedAndBlue(std::uint8_t *pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    std::swap(pixels[i * 4], pixels[i * 4 + 2]);
  }
}

bool ShrinkFrame(IWICImagingFactory &factory, IWICBitmapFrameDecode &frame, int box,
                 Picture &picture) {
  UINT width = 0;
  UINT height = 0;
  if (FAILED(frame.GetSize(&width, &height)) || !WithinBounds(width, height)) {
    return false;
  }
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory.CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(&frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
    return false;
  }
  const Size source{width, height};
  Shrinker shrinker(source, FittedSize(source, box));
  const std::size_t stride = std::size_t{width} * 4;
  const UINT stripRows = static_cast<UINT>(std::max<std::size_t>(1, kStripBytes / stride));
  std::vector<std::uint8_t> strip(stride * std::min(stripRows, height));
  for (UINT top = 0; top < height; top += stripRows) {
    const UINT rows = std::min(stripRows, height - top);
    const WICRect rect{0, static_cast<INT>(top), static_cast<INT>(width), static_cast<INT>(rows)};
    if (FAILED(converter->CopyPixels(&rect, static_cast<UINT>(stride),
                                     static_cast<UINT>(stride * rows), strip.data()))) {
      return false;
    }
    SwapRedAndBlue(strip.data(), std::size_t{width} * rows);
    for (UINT row = 0; row < rows; ++row) {
      shrinker.AddPixels(top + row, strip.data() + row * stride, width);
    }
  }
  picture = shrinker.Result();
  return true;
}

bool IsOpaque(const Picture &picture) {
  for (std::size_t i = 3; i < picture.rgba.size(); i += 4) {
    if (picture.rgba[i] != 255) {
      return false;
    }
  }
  return true;
}

// The picture's rows as WIC takes them: BGR with rows padded to four bytes
// when opaque, BGRA otherwise.
std::vector<std::uint8_t> BgrRows(const Picture &picture, bool opaque, UINT &stride) {
  const std::size_t width = static_cast<std::size_t>(picture.width);
  stride = static_cast<UINT>(opaque ? (width * 3 + 3) / 4 * 4 : width * 4);
  std::vector<std::uint8_t> rows(std::size_t{stride} * picture.height);
  for (int y = 0; y < picture.height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t *from = &picture.rgba[(y * width + x) * 4];
      std::uint8_t *to = &rows[y * std::size_t{stride} + x * (opaque ? 3 : 4)];
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
      if (!opaque) {
        to[3] = from[3];
      }
    }
  }
  return rows;
}

bool WritePngFrame(IWICImagingFactory &factory, IStream &stream, const Picture &picture) {
  const bool opaque = IsOpaque(picture);
  const WICPixelFormatGUID wanted =
      opaque ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat32bppBGRA;
  WICPixelFormatGUID format = wanted;
  UINT stride = 0;
  std::vector<std::uint8_t> rows = BgrRows(picture, opaque, stride);
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  return SUCCEEDED(factory.CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
         SUCCEEDED(encoder->Initialize(&stream, WICBitmapEncoderNoCache)) &&
         SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) &&
         SUCCEEDED(frame->Initialize(nullptr)) &&
         SUCCEEDED(
             frame->SetSize(static_cast<UINT>(picture.width), static_cast<UINT>(picture.height))) &&
         SUCCEEDED(frame->SetPixelFormat(&format)) && format == wanted &&
         SUCCEEDED(frame->WritePixels(static_cast<UINT>(picture.height), stride,
                                      static_cast<UINT>(rows.size()), rows.data())) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

// Everything the stream holds.
std::string StreamBytes(IStream &stream) {
  STATSTG status{};
  if (FAILED(stream.Stat(&status, STATFLAG_NONAME)) || status.cbSize.QuadPart > kMaxPngBytes) {
    return std::string();
  }
  std::string bytes(static_cast<std::size_t>(status.cbSize.QuadPart), '\0');
  ULONG got = 0;
  const LARGE_INTEGER start{};
  if (FAILED(stream.Seek(start, STREAM_SEEK_SET, nullptr)) ||
      FAILED(stream.Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got)) ||
      got != bytes.size()) {
    return std::string();
  }
  return bytes;
}

// The system's decoder may hold the whole picture, as soon as it has the file
// (Wine's decode it whole then): the header's size must fit the decoder's
// share of the memory before the decoder sees the file.
bool FitsBudget(const Header &header, std::size_t fileBytes) {
  return std::uint64_t{header.size.width} * header.size.height * header.bytesPerPixel <=
         DecoderBudget(fileBytes);
}

} // namespace

bool DecodeToFit(Format format, const Header &header, const std::string &bytes, int box,
                 Picture &picture) {
  if (!FitsBudget(header, bytes.size())) {
    return false;
  }
  const ComApartment apartment;
  const ComPtr<IWICImagingFactory> factory = apartment.Usable() ? CreateFactory() : nullptr;
  if (factory == nullptr) {
    return false;
  }
  const ComPtr<IWICBitmapFrameDecode> frame = FirstFrame(*factory.Get(), bytes, format);
  return frame != nullptr && ShrinkFrame(*factory.Get(), *frame.Get(), box, picture);
}

} // namespace picture

std::string EncodePng(const Picture &picture) {
  if (picture.width < 1 || picture.height < 1 ||
      picture.rgba.size() != static_cast<std::size_t>(picture.width) * picture.height * 4) {
    return std::string();
  }
  const picture::ComApartment apartment;
  const Microsoft::WRL::ComPtr<IWICImagingFactory> factory =
      apartment.Usable() ? picture::CreateFactory() : nullptr;
  Microsoft::WRL::ComPtr<IStream> stream;
  if (factory == nullptr || FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
      !picture::WritePngFrame(*factory.Get(), *stream.Get(), picture)) {
    return std::string();
  }
  return picture::StreamBytes(*stream.Get());
}

} // namespace platform
