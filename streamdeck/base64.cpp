#include "streamdeck/base64.h"

#include <array>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of every 12-bit value: one lookup and one two-byte copy
// encode half of a three-byte group. Built by the compiler, so there is
// nothing to initialise at run time.
constexpr std::array<char, 2 * 4096> MakePairs() {
  std::array<char, 2 * 4096> pairs{};
  for (std::size_t value = 0; value < 4096; ++value) {
    pairs[2 * value] = kAlphabet[value >> 6];
    pairs[2 * value + 1] = kAlphabet[value & 63];
  }
  return pairs;
}

constexpr std::array<char, 2 * 4096> kPairs = MakePairs();

void PutPair(char *out, std::uint32_t twelveBits) { std::memcpy(out, &kPairs[2 * twelveBits], 2); }

// Big-endian load of eight bytes, of which the first six are encoded.
std::uint64_t LoadBigEndian64(const unsigned char *b) {
  return (std::uint64_t{b[0]} << 56) | (std::uint64_t{b[1]} << 48) | (std::uint64_t{b[2]} << 40) |
         (std::uint64_t{b[3]} << 32) | (std::uint64_t{b[4]} << 24) | (std::uint64_t{b[5]} << 16) |
         (std::uint64_t{b[6]} << 8) | std::uint64_t{b[7]};
}

} // namespace

char *Base64EncodeInto(const unsigned char *bytes, std::size_t length, char *out) {
  // Counted in groups, in the width of a size: no index can wrap, whatever
  // the length.
  const std::size_t groups = length / 3;
  std::size_t group = 0;
  // Two groups at a time while eight bytes can be loaded at once.
  for (; group + 2 < groups; group += 2, bytes += 6, out += 8) {
    const std::uint64_t bits = LoadBigEndian64(bytes);
    PutPair(out, static_cast<std::uint32_t>(bits >> 52));
    PutPair(out + 2, static_cast<std::uint32_t>(bits >> 40) & 0xFFF);
    PutPair(out + 4, static_cast<std::uint32_t>(bits >> 28) & 0xFFF);
    PutPair(out + 6, static_cast<std::uint32_t>(bits >> 16) & 0xFFF);
  }
  for (; group < groups; ++group, bytes += 3, out += 4) {
    const std::uint32_t bits =
        (std::uint32_t{bytes[0]} << 16) | (std::uint32_t{bytes[1]} << 8) | std::uint32_t{bytes[2]};
    PutPair(out, bits >> 12);
    PutPair(out + 2, bits & 0xFFF);
  }
  switch (length - groups * 3) {
  case 1: {
    const std::uint32_t bits = std::uint32_t{bytes[0]} << 16;
    PutPair(out, bits >> 12);
    out[2] = '=';
    out[3] = '=';
    return out + 4;
  }
  case 2: {
    const std::uint32_t bits = (std::uint32_t{bytes[0]} << 16) | (std::uint32_t{bytes[1]} << 8);
    PutPair(out, bits >> 12);
    out[2] = kAlphabet[(bits >> 6) & 63];
    out[3] = '=';
    return out + 4;
  }
  default:
    return out;
  }
}

std::string Base64Encode(const unsigned char *bytes, std::uint32_t length) {
  std::string text(Base64EncodedLength(length), '\0');
  Base64EncodeInto(bytes, length, text.data());
  return text;
}
