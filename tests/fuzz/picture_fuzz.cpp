// Fuzz target: any bytes as a thumbnail file. The first byte chooses the box
// (1 to 96 px); the rest is the file, decoded and shrunk by the platform's
// decoders. The result is a refusal or a picture that fits the box, whose PNG
// reads back as exactly the same pixels; nothing may crash, hang or take more
// memory than the bound (scripts/fuzz.sh limits each allocation to it).
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

void Require(bool holds, const char *property) {
  if (!holds) {
    std::cerr << "property broken: " << property << "\n";
    std::abort();
  }
}

bool IsEmpty(const platform::Picture &picture) {
  return picture.width == 0 && picture.height == 0 && picture.rgba.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const int box = 1 + data[0] % platform::kMaxStripPictureBox;
  const std::string bytes(reinterpret_cast<const char *>(data + 1), size - 1);
  platform::Picture picture;
  if (!platform::DecodePictureToFit(bytes, box, picture)) {
    Require(IsEmpty(picture), "a refusal leaves no picture");
    return 0;
  }
  Require(picture.width >= 1 && picture.width <= box && picture.height >= 1 &&
              picture.height <= box,
          "a picture fits its box");
  Require(picture.rgba.size() == static_cast<std::size_t>(picture.width) * picture.height * 4,
          "a picture holds four bytes a pixel");
  const std::string png = platform::EncodePng(picture);
  platform::Picture back;
  Require(platform::DecodePictureToFit(png, platform::kMaxStripPictureBox, back),
          "the PNG of a picture reads back");
  Require(back.width == picture.width && back.height == picture.height && back.rgba == picture.rgba,
          "the PNG of a picture holds its pixels");
  return 0;
}
