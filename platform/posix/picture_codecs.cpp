// Pictures on POSIX: libpng, libjpeg-turbo, giflib and libwebp, each fed the
// file's bytes from memory. libpng and libjpeg report errors with longjmp: the
// functions that call setjmp hold no object with a destructor, and the state
// that must outlive a jump lives in a structure their caller owns.
#include "platform/picture_fitting.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <webp/decode.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <optional>

namespace platform {
namespace picture {
namespace {

const png_byte *BytesOf(const std::string &bytes) {
  return reinterpret_cast<const png_byte *>(bytes.data());
}

// ------------------------------------------------------------------- PNG

// A bad file ends the reading through the jump; warnings are of no interest.
void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

struct PngReading {
  png_structp png = nullptr;
  png_infop info = nullptr;
  int box = 0;
  bool interlaced = false;
  std::optional<Shrinker> shrinker;
  bool ended = false;

  ~PngReading() { png_destroy_read_struct(&png, &info, nullptr); }
};

// Every PNG arrives as 8-bit RGBA rows: palettes and grey expanded,
// transparency made alpha, 16 bits rounded to 8, an alpha channel added
// where there is none. An interlaced picture comes as the rows of each pass,
// which the shrinker places where they belong.
void OnPngInfo(png_structp png, png_infop info) {
  PngReading &reading = *static_cast<PngReading *>(png_get_progressive_ptr(png));
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (!WithinBounds(width, height)) {
    png_error(png, "outside the bounds");
  }
  reading.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t{width} * 4) {
    png_error(png, "not RGBA");
  }
  const Size source{width, height};
  reading.shrinker.emplace(source, FittedSize(source, reading.box));
}

void OnPngRow(png_structp png, png_bytep row, png_uint_32 number, int pass) {
  PngReading &reading = *static_cast<PngReading *>(png_get_progressive_ptr(png));
  if (row == nullptr) {
    return;
  }
  const png_uint_32 width = png_get_image_width(png, reading.info);
  if (!reading.interlaced) {
    reading.shrinker->AddPixels(number, row, width);
    return;
  }
  reading.shrinker->AddPixels(PNG_ROW_FROM_PASS_ROW(number, pass), row, PNG_PASS_COLS(width, pass),
                              PNG_PASS_START_COL(pass), 1u << PNG_PASS_COL_SHIFT(pass));
}

void OnPngEnd(png_structp png, png_infop) {
  static_cast<PngReading *>(png_get_progressive_ptr(png))->ended = true;
}

bool FeedPng(PngReading &reading, const std::string &bytes) {
  if (setjmp(png_jmpbuf(reading.png))) {
    return false;
  }
  png_set_user_limits(reading.png, kMaxPictureSide, kMaxPictureSide);
  // Only the chunks that make the pixels are read; text, colour profiles and
  // the rest are skipped unread, compressed or not.
  png_set_keep_unknown_chunks(reading.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_progressive_read_fn(reading.png, &reading, OnPngInfo, OnPngRow, OnPngEnd);
  png_process_data(reading.png, reading.info, const_cast<png_bytep>(BytesOf(bytes)), bytes.size());
  return true;
}

bool DecodePng(const std::string &bytes, int box, Picture &picture) {
  PngReading reading;
  reading.box = box;
  reading.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
  reading.info = reading.png != nullptr ? png_create_info_struct(reading.png) : nullptr;
  if (reading.info == nullptr || !FeedPng(reading, bytes) || !reading.ended || !reading.shrinker ||
      !reading.shrinker->Complete()) {
    return false;
  }
  picture = reading.shrinker->Result();
  return true;
}

// ------------------------------------------------------------------ JPEG

// Progressive files with more scans than this are refused: each scan costs a
// pass over the whole picture, and a hostile file can hold thousands.
constexpr int kMaxJpegScans = 500;

struct JpegReading {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  jpeg_progress_mgr progress{};
  std::jmp_buf jump{};
  int box = 0;
  std::optional<Shrinker> shrinker;
  std::vector<std::uint8_t> row;
  std::vector<std::uint8_t> rgba;

  ~JpegReading() { jpeg_destroy_decompress(&info); }
};

JpegReading &ReadingOf(j_common_ptr info) { return *static_cast<JpegReading *>(info->client_data); }

void OnJpegError(j_common_ptr info) { std::longjmp(ReadingOf(info).jump, 1); }

// A warning means corrupt or missing data that libjpeg would paper over (a
// truncated file comes out grey at the bottom): refused like an error.
void OnJpegMessage(j_common_ptr info, int level) {
  if (level < 0) {
    OnJpegError(info);
  }
}

void OnJpegOutput(j_common_ptr) {}

void OnJpegProgress(j_common_ptr info) {
  if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans) {
    OnJpegError(info);
  }
}

// The largest reduction while decoding (1/2, 1/4 or 1/8) that still leaves
// at least the fitted size, so that the shrinker has the last word.
unsigned int JpegReduction(const jpeg_decompress_struct &info, Size fitted) {
  for (unsigned int denominator = 8; denominator > 1; denominator /= 2) {
    if ((info.image_width + denominator - 1) / denominator >= fitted.width &&
        (info.image_height + denominator - 1) / denominator >= fitted.height) {
      return denominator;
    }
  }
  return 1;
}

// CMYK as Adobe's programs write it (an Adobe marker: the values inverted)
// or plain, made RGB without a colour profile.
void CmykToRgba(const std::uint8_t *cmyk, std::uint8_t *rgba, std::size_t count, bool inverted) {
  for (std::size_t i = 0; i < count; ++i, cmyk += 4, rgba += 4) {
    const auto ink = [&](int channel) { return inverted ? cmyk[channel] : 255 - cmyk[channel]; };
    for (int channel = 0; channel < 3; ++channel) {
      rgba[channel] = static_cast<std::uint8_t>((ink(channel) * ink(3) + 127) / 255);
    }
    rgba[3] = 255;
  }
}

void AddJpegRow(JpegReading &reading, std::uint32_t y) {
  const std::uint32_t width = reading.info.output_width;
  const std::uint8_t *pixels = reading.row.data();
  if (reading.info.out_color_space == JCS_CMYK) {
    CmykToRgba(pixels, reading.rgba.data(), width, reading.info.saw_Adobe_marker != 0);
    pixels = reading.rgba.data();
  }
  reading.shrinker->AddPixels(y, pixels, width);
}

bool RunJpeg(JpegReading &reading, const std::string &bytes) {
  if (setjmp(reading.jump)) {
    return false;
  }
  jpeg_create_decompress(&reading.info);
  reading.info.client_data = &reading;
  reading.info.progress = &reading.progress;
  reading.info.mem->max_memory_to_use = static_cast<long>(DecoderBudget(bytes.size()));
  jpeg_mem_src(&reading.info, BytesOf(bytes), static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&reading.info, TRUE) != JPEG_HEADER_OK ||
      !WithinBounds(reading.info.image_width, reading.info.image_height)) {
    return false;
  }
  const Size fitted =
      FittedSize({reading.info.image_width, reading.info.image_height}, reading.box);
  const J_COLOR_SPACE space = reading.info.jpeg_color_space;
  reading.info.out_color_space = space == JCS_CMYK || space == JCS_YCCK ? JCS_CMYK : JCS_EXT_RGBA;
  reading.info.scale_num = 1;
  reading.info.scale_denom = JpegReduction(reading.info, fitted);
  jpeg_start_decompress(&reading.info);
  const std::uint32_t width = reading.info.output_width;
  reading.shrinker.emplace(Size{width, reading.info.output_height}, fitted);
  reading.row.resize(std::size_t{width} * 4);
  reading.rgba.resize(std::size_t{width} * 4);
  while (reading.info.output_scanline < reading.info.output_height) {
    const std::uint32_t y = reading.info.output_scanline;
    JSAMPROW row = reading.row.data();
    if (jpeg_read_scanlines(&reading.info, &row, 1) != 1) {
      return false;
    }
    AddJpegRow(reading, y);
  }
  jpeg_finish_decompress(&reading.info);
  return reading.shrinker->Complete();
}

bool DecodeJpeg(const std::string &bytes, int box, Picture &picture) {
  JpegReading reading;
  reading.box = box;
  reading.info.err = jpeg_std_error(&reading.errors);
  reading.errors.error_exit = OnJpegError;
  reading.errors.emit_message = OnJpegMessage;
  reading.errors.output_message = OnJpegOutput;
  reading.progress.progress_monitor = OnJpegProgress;
  if (!RunJpeg(reading, bytes)) {
    return false;
  }
  picture = reading.shrinker->Result();
  return true;
}

// ------------------------------------------------------------------- GIF

struct GifSource {
  const std::string &bytes;
  std::size_t offset = 0;
};

int ReadGif(GifFileType *gif, GifByteType *buffer, int wanted) {
  GifSource &source = *static_cast<GifSource *>(gif->UserData);
  const std::size_t count =
      std::min(static_cast<std::size_t>(std::max(wanted, 0)), source.bytes.size() - source.offset);
  std::copy_n(source.bytes.data() + source.offset, count, buffer);
  source.offset += count;
  return static_cast<int>(count);
}

struct GifFile {
  GifFileType *gif = nullptr;
  ~GifFile() {
    int error = 0;
    if (gif != nullptr) {
      DGifCloseFile(gif, &error);
    }
  }
};

// Reads an extension and its sub-blocks; a graphic control extension may
// name the transparent colour of the frame that follows.
bool ReadGifExtension(GifFileType *gif, int &transparent) {
  int code = 0;
  GifByteType *block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
    return false;
  }
  while (block != nullptr) {
    GraphicsControlBlock control;
    if (code == GRAPHICS_EXT_FUNC_CODE && block[0] == 4 &&
        DGifExtensionToGCB(4, block + 1, &control) == GIF_OK) {
      transparent = control.TransparentColor;
    }
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
      return false;
    }
  }
  return true;
}

void GifIndicesToRgba(const std::vector<GifPixelType> &indices, const ColorMapObject &colours,
                      int transparent, std::vector<std::uint8_t> &rgba) {
  for (std::size_t x = 0; x < indices.size(); ++x) {
    const int index = indices[x];
    std::uint8_t *pixel = &rgba[x * 4];
    if (index == transparent || index >= colours.ColorCount) {
      std::fill_n(pixel, 4, 0);
      continue;
    }
    const GifColorType &colour = colours.Colors[index];
    pixel[0] = colour.Red;
    pixel[1] = colour.Green;
    pixel[2] = colour.Blue;
    pixel[3] = 255;
  }
}

// The frame's own rows, in the order stored: top to bottom, or the four
// passes of an interlaced frame.
std::vector<std::uint32_t> GifRowOrder(std::uint32_t height, bool interlaced) {
  std::vector<std::uint32_t> order;
  order.reserve(height);
  const std::uint32_t starts[] = {0, 4, 2, 1};
  const std::uint32_t steps[] = {8, 8, 4, 2};
  for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass) {
    for (std::uint32_t y = interlaced ? starts[pass] : 0; y < height;
         y += interlaced ? steps[pass] : 1) {
      order.push_back(y);
    }
  }
  return order;
}

bool DecodeGifFrame(GifFileType *gif, int transparent, int box, Picture &picture) {
  if (DGifGetImageDesc(gif) == GIF_ERROR || !WithinBounds(gif->Image.Width, gif->Image.Height)) {
    return false;
  }
  const ColorMapObject *colours =
      gif->Image.ColorMap != nullptr ? gif->Image.ColorMap : gif->SColorMap;
  if (colours == nullptr) {
    return false;
  }
  const Size source{static_cast<std::uint32_t>(gif->Image.Width),
                    static_cast<std::uint32_t>(gif->Image.Height)};
  Shrinker shrinker(source, FittedSize(source, box));
  std::vector<GifPixelType> indices(source.width);
  std::vector<std::uint8_t> rgba(std::size_t{source.width} * 4);
  for (const std::uint32_t y : GifRowOrder(source.height, gif->Image.Interlace)) {
    if (DGifGetLine(gif, indices.data(), gif->Image.Width) == GIF_ERROR) {
      return false;
    }
    GifIndicesToRgba(indices, *colours, transparent, rgba);
    shrinker.AddPixels(y, rgba.data(), source.width);
  }
  picture = shrinker.Result();
  return true;
}

// The first frame; what follows it is not read.
bool DecodeGif(const std::string &bytes, int box, Picture &picture) {
  GifSource source{bytes};
  int error = 0;
  GifFile file{DGifOpen(&source, ReadGif, &error)};
  if (file.gif == nullptr) {
    return false;
  }
  int transparent = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(file.gif, &type) == GIF_ERROR) {
      return false;
    }
    if (type == IMAGE_DESC_RECORD_TYPE) {
      return DecodeGifFrame(file.gif, transparent, box, picture);
    }
    if (type != EXTENSION_RECORD_TYPE || !ReadGifExtension(file.gif, transparent)) {
      return false;
    }
  }
}

// ------------------------------------------------------------------ WebP

// What libwebp holds while it decodes: a lossless picture whole, as 32-bit
// pixels; the alpha plane of a lossy one whole, a byte a pixel; otherwise a
// few rows.
std::uint64_t WebPHeldBytes(const WebPBitstreamFeatures &features) {
  const std::uint64_t pixels = std::uint64_t(features.width) * std::uint64_t(features.height);
  if (features.format != 1) {
    return pixels * 4;
  }
  return features.has_alpha ? pixels : 0;
}

struct WebPDecoding {
  WebPDecoderConfig config;
  ~WebPDecoding() { WebPFreeDecBuffer(&config.output); }
};

// libwebp's own scaler (an area average) makes the fitted size while it
// decodes, so that a large lossy picture never exists whole; the rows then
// pass the shrinker unchanged in size, as every other format's do.
bool DecodeWebP(const std::string &bytes, int box, Picture &picture) {
  WebPDecoding decoding;
  WebPDecoderConfig &config = decoding.config;
  if (!WebPInitDecoderConfig(&config) ||
      WebPGetFeatures(BytesOf(bytes), bytes.size(), &config.input) != VP8_STATUS_OK) {
    return false;
  }
  const WebPBitstreamFeatures &features = config.input;
  if (features.has_animation || !WithinBounds(features.width, features.height) ||
      WebPHeldBytes(features) > DecoderBudget(bytes.size())) {
    return false;
  }
  const Size fitted = FittedSize(
      {static_cast<std::uint32_t>(features.width), static_cast<std::uint32_t>(features.height)},
      box);
  config.options.use_scaling = 1;
  config.options.scaled_width = static_cast<int>(fitted.width);
  config.options.scaled_height = static_cast<int>(fitted.height);
  config.output.colorspace = MODE_RGBA;
  if (WebPDecode(BytesOf(bytes), bytes.size(), &config) != VP8_STATUS_OK) {
    return false;
  }
  Shrinker shrinker(fitted, fitted);
  const WebPRGBABuffer &rgba = config.output.u.RGBA;
  for (std::uint32_t y = 0; y < fitted.height; ++y) {
    shrinker.AddPixels(y, rgba.rgba + std::size_t{y} * static_cast<std::size_t>(rgba.stride),
                       fitted.width);
  }
  picture = shrinker.Result();
  return true;
}

// ------------------------------------------------------------ PNG, written

struct PngWriting {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::string file;

  ~PngWriting() { png_destroy_write_struct(&png, &info); }
};

// The file's room is reserved beforehand (see EncodePng), so appending never
// allocates and nothing can throw through libpng.
void OnPngWrite(png_structp png, png_bytep data, png_size_t size) {
  static_cast<PngWriting *>(png_get_io_ptr(png))->file.append(reinterpret_cast<char *>(data), size);
}

void OnPngFlush(png_structp) {}

bool IsOpaque(const Picture &picture) {
  for (std::size_t i = 3; i < picture.rgba.size(); i += 4) {
    if (picture.rgba[i] != 255) {
      return false;
    }
  }
  return true;
}

bool WritePng(PngWriting &writing, const Picture &picture) {
  if (setjmp(png_jmpbuf(writing.png))) {
    return false;
  }
  const bool opaque = IsOpaque(picture);
  png_set_write_fn(writing.png, &writing, OnPngWrite, OnPngFlush);
  png_set_IHDR(writing.png, writing.info, static_cast<png_uint_32>(picture.width),
               static_cast<png_uint_32>(picture.height), 8,
               opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(writing.png, 9);
  png_write_info(writing.png, writing.info);
  if (opaque) {
    png_set_filler(writing.png, 0, PNG_FILLER_AFTER); // drops the fourth byte
  }
  const std::size_t stride = static_cast<std::size_t>(picture.width) * 4;
  for (int y = 0; y < picture.height; ++y) {
    png_write_row(writing.png, picture.rgba.data() + static_cast<std::size_t>(y) * stride);
  }
  png_write_end(writing.png, nullptr);
  return true;
}

} // namespace

bool DecodeToFit(Format format, const Header &, const std::string &bytes, int box,
                 Picture &picture) {
  switch (format) {
  case Format::Png:
    return DecodePng(bytes, box, picture);
  case Format::Jpeg:
    return DecodeJpeg(bytes, box, picture);
  case Format::Gif:
    return DecodeGif(bytes, box, picture);
  case Format::WebP:
    return DecodeWebP(bytes, box, picture);
  default:
    return false; // BMP has no decoder here
  }
}

} // namespace picture

std::string EncodePng(const Picture &picture) {
  if (picture.width < 1 || picture.height < 1 ||
      picture.rgba.size() != static_cast<std::size_t>(picture.width) * picture.height * 4) {
    return std::string();
  }
  picture::PngWriting writing;
  writing.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, picture::OnPngError,
                                        picture::OnPngWarning);
  writing.info = writing.png != nullptr ? png_create_info_struct(writing.png) : nullptr;
  // Rows stored uncompressed at worst: a filter byte a row, a few bytes per
  // deflate block, and the chunks around them.
  const std::size_t raw = picture.rgba.size() + static_cast<std::size_t>(picture.height);
  writing.file.reserve(raw + raw / 1024 + 4096);
  if (writing.info == nullptr || !picture::WritePng(writing, picture)) {
    return std::string();
  }
  return std::move(writing.file);
}

} // namespace platform
