#include "platform/picture_fitting.h"

#include <algorithm>

namespace platform {
namespace picture {
namespace {

// Making one picture may take this much, the file's bytes included, so that
// the whole process, a few MiB without it, stays within 48 MiB.
constexpr std::size_t kPeakBytes = 40u << 20;
// What the rest takes besides the bytes and the decoder: rows, sums, the
// result and its PNG.
constexpr std::size_t kOtherBytes = 4u << 20;

bool StartsWith(const std::string &bytes, const char *signature, std::size_t length,
                std::size_t offset = 0) {
  return bytes.size() >= offset + length && bytes.compare(offset, length, signature, length) == 0;
}

std::uint32_t Rounded(std::uint64_t numerator, std::uint64_t denominator) {
  return static_cast<std::uint32_t>((numerator + denominator / 2) / denominator);
}

} // namespace

Format FormatOf(const std::string &bytes) {
  if (StartsWith(bytes, "\x89PNG\r\n\x1a\n", 8)) {
    return Format::Png;
  }
  if (StartsWith(bytes, "\xff\xd8\xff", 3)) {
    return Format::Jpeg;
  }
  if (StartsWith(bytes, "GIF87a", 6) || StartsWith(bytes, "GIF89a", 6)) {
    return Format::Gif;
  }
  if (StartsWith(bytes, "BM", 2)) {
    return Format::Bmp;
  }
  if (StartsWith(bytes, "RIFF", 4) && StartsWith(bytes, "WEBP", 4, 8)) {
    return Format::WebP;
  }
  return Format::Unknown;
}

bool WithinBounds(std::uint64_t width, std::uint64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxPictureSide && height <= kMaxPictureSide;
}

Size FittedSize(Size source, int box) {
  const std::uint32_t side = static_cast<std::uint32_t>(box);
  const std::uint32_t longer = std::max(source.width, source.height);
  if (longer <= side) {
    return source;
  }
  const auto scaled = [&](std::uint32_t length) {
    return std::max<std::uint32_t>(1, Rounded(std::uint64_t{length} * side, longer));
  };
  return Size{scaled(source.width), scaled(source.height)};
}

std::size_t DecoderBudget(std::size_t fileBytes) {
  const std::size_t taken = fileBytes + kOtherBytes;
  return taken < kPeakBytes ? kPeakBytes - taken : 0;
}

Shrinker::Shrinker(Size source, Size target)
    : mSource(source), mTarget(target), mColumns(source.width),
      mSums(std::size_t{target.width} * target.height * 4),
      mRowSums(std::size_t{target.width} * 4) {
  for (std::uint32_t x = 0; x < source.width; ++x) {
    mColumns[x] = SpanOf(x, source.width, target.width);
  }
}

// In units where a source pixel is `targetLength` long and a result pixel
// `sourceLength`, both lengths are whole numbers, and so is every share.
// A source pixel is never longer than a result pixel: it touches two at most.
Shrinker::Span Shrinker::SpanOf(std::uint32_t index, std::uint32_t sourceLength,
                                std::uint32_t targetLength) {
  const std::uint64_t start = std::uint64_t{index} * targetLength;
  const std::uint64_t end = start + targetLength;
  const std::uint32_t cell = static_cast<std::uint32_t>(start / sourceLength);
  const std::uint64_t cellEnd = std::uint64_t{cell + 1} * sourceLength;
  return Span{cell, static_cast<std::uint32_t>(std::min(end, cellEnd) - start)};
}

void Shrinker::AddToCell(std::vector<std::uint64_t> &sums, std::uint32_t cell, std::uint32_t share,
                         const std::uint8_t *pixel) const {
  std::uint64_t *sum = &sums[std::size_t{cell} * 4];
  const std::uint64_t alpha = pixel[3];
  sum[0] += pixel[0] * alpha * share;
  sum[1] += pixel[1] * alpha * share;
  sum[2] += pixel[2] * alpha * share;
  sum[3] += alpha * share;
}

void Shrinker::AddPixels(std::uint32_t y, const std::uint8_t *rgba, std::uint32_t count,
                         std::uint32_t firstColumn, std::uint32_t columnStep) {
  std::fill(mRowSums.begin(), mRowSums.end(), 0);
  for (std::uint32_t i = 0; i < count; ++i) {
    const Span &column = mColumns[firstColumn + i * columnStep];
    const std::uint8_t *pixel = rgba + std::size_t{i} * 4;
    AddToCell(mRowSums, column.cell, column.firstShare, pixel);
    if (column.firstShare < mTarget.width) {
      AddToCell(mRowSums, column.cell + 1, mTarget.width - column.firstShare, pixel);
    }
  }
  const Span row = SpanOf(y, mSource.height, mTarget.height);
  const auto addRow = [&](std::uint32_t cellRow, std::uint64_t share) {
    std::uint64_t *sums = &mSums[std::size_t{cellRow} * mTarget.width * 4];
    for (std::size_t i = 0; i < mRowSums.size(); ++i) {
      sums[i] += mRowSums[i] * share;
    }
  };
  addRow(row.cell, row.firstShare);
  if (row.firstShare < mTarget.height) {
    addRow(row.cell + 1, mTarget.height - row.firstShare);
  }
  mAdded += count;
}

Picture Shrinker::Result() const {
  Picture picture;
  picture.width = static_cast<int>(mTarget.width);
  picture.height = static_cast<int>(mTarget.height);
  picture.rgba.resize(mSums.size());
  const std::uint64_t area = std::uint64_t{mSource.width} * mSource.height;
  for (std::size_t cell = 0; cell < mSums.size(); cell += 4) {
    const std::uint64_t *sum = &mSums[cell];
    std::uint8_t *pixel = &picture.rgba[cell];
    pixel[3] = static_cast<std::uint8_t>(Rounded(sum[3], area));
    // A pixel that comes out transparent keeps no colour, however little of
    // it there was.
    for (int channel = 0; channel < 3; ++channel) {
      pixel[channel] = pixel[3] == 0 ? 0 : static_cast<std::uint8_t>(Rounded(sum[channel], sum[3]));
    }
  }
  return picture;
}

} // namespace picture

bool DecodePictureToFit(const std::string &bytes, int box, Picture &picture) {
  picture = Picture();
  const picture::Format format = picture::FormatOf(bytes);
  picture::Header header;
  if (box < 1 || box > kMaxStripPictureBox || bytes.size() > kMaxPictureFileBytes ||
      !picture::ReadHeader(format, bytes, header) ||
      !picture::WithinBounds(header.size.width, header.size.height)) {
    return false;
  }
  if (!picture::DecodeToFit(format, header, bytes, box, picture)) {
    picture = Picture();
    return false;
  }
  return true;
}

std::string MakeStripPictureFromBytes(const std::string &bytes, int box) {
  Picture picture;
  return DecodePictureToFit(bytes, box, picture) ? EncodePng(picture) : std::string();
}

std::string MakeStripPicture(const std::string &utf8Path, int box) {
  RegularFile file(utf8Path);
  if (!file.IsOpen() || file.Size() > kMaxPictureFileBytes) {
    return std::string();
  }
  // One byte more than the limit allows: a file that grew past it since it
  // was opened is refused too.
  std::string bytes(static_cast<std::size_t>(file.Size()) + 1, '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const std::size_t more = file.Read(&bytes[got], bytes.size() - got);
    if (more == 0) {
      break;
    }
    got += more;
  }
  bytes.resize(got);
  return MakeStripPictureFromBytes(bytes, box);
}

} // namespace platform
