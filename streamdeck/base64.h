// RFC 4648 Base64 with the standard alphabet and "=" padding, no line breaks:
// how key images travel inside the Stream Deck application's text messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The number of characters that `length` bytes encode to.
constexpr std::size_t Base64EncodedLength(std::size_t length) { return (length + 2) / 3 * 4; }

// Writes the Base64 of `length` bytes to `out`, which has room for
// Base64EncodedLength(length) characters, and returns the end of what it wrote.
char *Base64EncodeInto(const unsigned char *bytes, std::size_t length, char *out);

// The Base64 of `length` bytes as a text of its own.
std::string Base64Encode(const unsigned char *bytes, std::uint32_t length);
