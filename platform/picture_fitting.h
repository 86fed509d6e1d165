// What the picture decoders of every platform share: the format told by the
// first bytes, the size a picture is fitted to, the memory a decoder may take,
// and the shrinker that averages the decoded pixels into the fitted picture.
// Only the platform layer includes it.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {
namespace picture {

enum class Format { Unknown, Png, Jpeg, Gif, Bmp, WebP };

// The format that the file's signature names; Unknown for anything else.
Format FormatOf(const std::string &bytes);

struct Size {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// What a file's header gives before any pixel: the size of the picture (of a
// GIF's first frame) and the bytes a pixel takes in a decoder that holds the
// whole picture (8 for a 16-bit PNG, 4 for the rest).
struct Header {
  Size size;
  std::uint32_t bytesPerPixel = 4;
};

// Reads the header of `bytes`, a file of `format`; false when the file does
// not give its size before its pixels (it is then refused).
bool ReadHeader(Format format, const std::string &bytes, Header &header);

// Whether a picture of this size may be decoded: 1 to kMaxPictureSide a side.
bool WithinBounds(std::uint64_t width, std::uint64_t height);

// The size of `source` fitted into a square of `box` pixels: the longer side
// becomes `box` when it is longer, the other in proportion (rounded, at
// least 1). A picture that fits already keeps its size.
Size FittedSize(Size source, int box);

// What a decoder may allocate for a file of `fileBytes` bytes held in memory,
// so that the bytes, the decoder and the rest stay within the 40 MiB that
// making one picture may take.
std::size_t DecoderBudget(std::size_t fileBytes);

// Averages a picture of size `source` into one of size `target` (no larger):
// each pixel of the result is the mean of the area of the source it covers,
// fractions of pixels weighed by their share, colours weighed by their alpha
// so that transparent pixels lend no colour. The sums are exact integers, so
// the result does not depend on the order in which the pixels arrive (rows of
// an interlaced picture come pass after pass).
class Shrinker {
public:
  Shrinker(Size source, Size target);

  // Adds `count` RGBA pixels of source row `y`, at columns `firstColumn`,
  // `firstColumn + columnStep`, and so on; they must lie within the picture.
  void AddPixels(std::uint32_t y, const std::uint8_t *rgba, std::uint32_t count,
                 std::uint32_t firstColumn = 0, std::uint32_t columnStep = 1);
  // Whether every pixel of the source has been added once (as many as the
  // source has; a decoder that adds a pixel twice is wrong anyway).
  bool Complete() const { return mAdded == std::uint64_t{mSource.width} * mSource.height; }

  Picture Result() const;

private:
  // Where a source column or row falls: the first cell of the result it
  // covers and how much of it lies there; the rest lies in the next cell.
  struct Span {
    std::uint32_t cell = 0;
    std::uint32_t firstShare = 0;
  };
  static Span SpanOf(std::uint32_t index, std::uint32_t sourceLength, std::uint32_t targetLength);
  void AddToCell(std::vector<std::uint64_t> &sums, std::uint32_t cell, std::uint32_t share,
                 const std::uint8_t *pixel) const;

  Size mSource;
  Size mTarget;
  std::vector<Span> mColumns;
  // Per cell of the result: red, green and blue times alpha, then alpha,
  // each times its area in units of 1 / (source width × source height).
  std::vector<std::uint64_t> mSums;
  std::vector<std::uint64_t> mRowSums; // one source row, across the result
  std::uint64_t mAdded = 0;
};

// Decodes `bytes`, a file of `format` with `header`, with the platform's
// decoders and shrinks it to fit `box`: what DecodePictureToFit does once the
// signature, the box, the file's size and the header's bounds have been
// checked. Each platform has its own.
bool DecodeToFit(Format format, const Header &header, const std::string &bytes, int box,
                 Picture &picture);

} // namespace picture
} // namespace platform
