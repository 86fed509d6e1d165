// The size that a picture file's header gives, read before any decoder sees
// the file. A decoder may allocate for the whole picture as soon as it is
// handed the file (Wine's decode it whole then), so the bounds are checked
// here first, on every platform alike. Only the fields that give the size are
// read, each within the bytes there are.
#include "platform/picture_fitting.h"

#include <cstdint>

namespace platform {
namespace picture {
namespace {

class Bytes {
public:
  explicit Bytes(const std::string &bytes) : mBytes(bytes) {}

  bool Has(std::size_t offset, std::size_t count) const {
    return offset <= mBytes.size() && count <= mBytes.size() - offset;
  }
  std::uint32_t At(std::size_t offset) const { return static_cast<std::uint8_t>(mBytes[offset]); }
  std::uint32_t BigEndian16(std::size_t offset) const { return At(offset) << 8 | At(offset + 1); }
  std::uint32_t BigEndian32(std::size_t offset) const {
    return BigEndian16(offset) << 16 | BigEndian16(offset + 2);
  }
  std::uint32_t LittleEndian16(std::size_t offset) const {
    return At(offset) | At(offset + 1) << 8;
  }
  std::uint32_t LittleEndian24(std::size_t offset) const {
    return LittleEndian16(offset) | At(offset + 2) << 16;
  }
  std::uint32_t LittleEndian32(std::size_t offset) const {
    return LittleEndian16(offset) | LittleEndian16(offset + 2) << 16;
  }
  bool Holds(std::size_t offset, const char *text, std::size_t count) const {
    return Has(offset, count) && mBytes.compare(offset, count, text, count) == 0;
  }

private:
  const std::string &mBytes;
};

// IHDR comes first, right after the signature.
bool ReadPngHeader(const Bytes &bytes, Header &header) {
  if (!bytes.Holds(12, "IHDR", 4) || !bytes.Has(16, 10)) {
    return false;
  }
  header.size = Size{bytes.BigEndian32(16), bytes.BigEndian32(20)};
  header.bytesPerPixel = bytes.At(24) == 16 ? 8 : 4;
  return true;
}

bool IsStartOfFrame(std::uint32_t marker) {
  // SOF0 to SOF15, but for DHT, JPG and DAC, which share the range.
  return marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}

// The markers after SOI, up to the first start of frame.
bool ReadJpegHeader(const Bytes &bytes, Header &header) {
  std::size_t offset = 2;
  while (bytes.Has(offset, 4) && bytes.At(offset) == 0xff) {
    const std::uint32_t marker = bytes.At(offset + 1);
    if (marker == 0xff) {
      offset += 1; // fill byte
      continue;
    }
    if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
      offset += 2; // no length
      continue;
    }
    if (marker == 0xd9 || marker == 0xda) {
      return false; // the end, or a scan before any frame
    }
    const std::uint32_t length = bytes.BigEndian16(offset + 2);
    if (IsStartOfFrame(marker)) {
      if (!bytes.Has(offset, 9)) {
        return false;
      }
      header.size = Size{bytes.BigEndian16(offset + 7), bytes.BigEndian16(offset + 5)};
      return true;
    }
    if (length < 2) {
      return false;
    }
    offset += 2 + length;
  }
  return false;
}

// The first image descriptor, after the global colour table and any
// extensions: the first frame's own size.
bool ReadGifHeader(const Bytes &bytes, Header &header) {
  if (!bytes.Has(0, 13)) {
    return false;
  }
  const std::uint32_t flags = bytes.At(10);
  std::size_t offset = 13 + ((flags & 0x80) != 0 ? 3u << ((flags & 7) + 1) : 0);
  while (bytes.Has(offset, 1) && bytes.At(offset) == 0x21) {
    offset += 2; // introducer and label
    while (bytes.Has(offset, 1)) {
      const std::size_t block = bytes.At(offset);
      offset += 1 + block;
      if (block == 0) {
        break;
      }
    }
  }
  if (!bytes.Has(offset, 10) || bytes.At(offset) != 0x2c) {
    return false;
  }
  header.size = Size{bytes.LittleEndian16(offset + 5), bytes.LittleEndian16(offset + 7)};
  return true;
}

// The info header's size tells its kind: the old one with 16-bit sides, or
// one with 32-bit sides, the height negative for rows from the top.
bool ReadBmpHeader(const Bytes &bytes, Header &header) {
  if (!bytes.Has(14, 12)) {
    return false;
  }
  const std::uint32_t infoSize = bytes.LittleEndian32(14);
  if (infoSize == 12) {
    header.size = Size{bytes.LittleEndian16(18), bytes.LittleEndian16(20)};
    return true;
  }
  const auto width = static_cast<std::int32_t>(bytes.LittleEndian32(18));
  const auto height =
      static_cast<std::int64_t>(static_cast<std::int32_t>(bytes.LittleEndian32(22)));
  if (infoSize < 40 || width < 0) {
    return false;
  }
  header.size = Size{static_cast<std::uint32_t>(width),
                     static_cast<std::uint32_t>(height < 0 ? -height : height)};
  return true;
}

// The first chunk: a lossy frame, a lossless one, or the extended header
// with the canvas size.
bool ReadWebPHeader(const Bytes &bytes, Header &header) {
  if (bytes.Holds(12, "VP8 ", 4) && bytes.Has(20, 10) && bytes.At(23) == 0x9d &&
      bytes.At(24) == 0x01 && bytes.At(25) == 0x2a) {
    header.size = Size{bytes.LittleEndian16(26) & 0x3fff, bytes.LittleEndian16(28) & 0x3fff};
    return true;
  }
  if (bytes.Holds(12, "VP8L", 4) && bytes.Has(20, 5) && bytes.At(20) == 0x2f) {
    const std::uint32_t sides = bytes.LittleEndian32(21);
    header.size = Size{(sides & 0x3fff) + 1, (sides >> 14 & 0x3fff) + 1};
    return true;
  }
  if (bytes.Holds(12, "VP8X", 4) && bytes.Has(20, 10)) {
    header.size = Size{bytes.LittleEndian24(24) + 1, bytes.LittleEndian24(27) + 1};
    return true;
  }
  return false;
}

} // namespace

bool ReadHeader(Format format, const std::string &file, Header &header) {
  const Bytes bytes(file);
  header = Header();
  switch (format) {
  case Format::Png:
    return ReadPngHeader(bytes, header);
  case Format::Jpeg:
    return ReadJpegHeader(bytes, header);
  case Format::Gif:
    return ReadGifHeader(bytes, header);
  case Format::Bmp:
    return ReadBmpHeader(bytes, header);
  case Format::WebP:
    return ReadWebPHeader(bytes, header);
  default:
    return false;
  }
}

} // namespace picture
} // namespace platform
