// Base64 of key images: the known vectors, and lengths up to the largest file
// a key image may have (4 GiB less one byte), where a 32-bit index would wrap.
#include "streamdeck/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

std::string Encode(const std::string &bytes) {
  return Base64Encode(reinterpret_cast<const unsigned char *>(bytes.data()),
                      static_cast<std::uint32_t>(bytes.size()));
}

TEST(Base64, KnownVectors) {
  EXPECT_EQ(Encode(""), "");
  EXPECT_EQ(Encode("f"), "Zg==");
  EXPECT_EQ(Encode("fo"), "Zm8=");
  EXPECT_EQ(Encode("foo"), "Zm9v");
  EXPECT_EQ(Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Encode(std::string("\xff\xfe\x00\x80", 4)), "//4AgA==");
  EXPECT_EQ(Encode(std::string("\xfb\xff", 2)), "+/8=");
}

TEST(Base64, LongInputHasNoLineBreaks) {
  const std::string encoded = Encode(std::string(3000, 'x'));
  EXPECT_EQ(encoded.size(), 4000u);
  EXPECT_EQ(encoded.find('\n'), std::string::npos);
}

TEST(Base64, EveryByteValueInEveryPosition) {
  std::string bytes;
  for (int i = 0; i < 3 * 256; ++i) {
    bytes += static_cast<char>((i * 7 + i / 256) & 0xFF);
  }
  // Decoded again by hand: each character gives six bits, in order.
  const std::string encoded = Encode(bytes);
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string decoded;
  unsigned bits = 0;
  int count = 0;
  for (const char c : encoded) {
    bits = (bits << 6) | static_cast<unsigned>(alphabet.find(c));
    count += 6;
    if (count >= 8) {
      count -= 8;
      decoded += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  EXPECT_EQ(decoded, bytes);
}

TEST(Base64, EncodedLengthAtThe32BitEdge) {
  EXPECT_EQ(Base64EncodedLength(0), 0u);
  EXPECT_EQ(Base64EncodedLength(1), 4u);
  EXPECT_EQ(Base64EncodedLength(3), 4u);
  EXPECT_EQ(Base64EncodedLength(4), 8u);
  EXPECT_EQ(Base64EncodedLength(0xFFFFFFFCu), 5726623056u);
  EXPECT_EQ(Base64EncodedLength(0xFFFFFFFDu), 5726623060u);
  EXPECT_EQ(Base64EncodedLength(0xFFFFFFFFu), 5726623060u);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZORVANE_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZORVANE_SANITIZED_BUILD 1
#endif
#endif

#if defined(_WIN32)
TEST(Base64, LargestImageEncodesToTheEndAndStops) {
  GTEST_SKIP() << "the input and output map one small memfd window again and again across "
                  "9 GiB of address space with mmap(MAP_FIXED), which Windows lacks (its "
                  "placeholder views are not used here); without it the case needs 9 GiB of "
                  "real memory";
}
#elif !defined(ZORVANE_SANITIZED_BUILD)
// Maps `window` (a shared memory file of kWindow bytes) over and over across
// `length` bytes of address space, the last time from `last` if that is not
// -1, so that a huge range costs the memory of one or two windows.
constexpr std::size_t kWindow = 1u << 20;

unsigned char *RepeatWindow(int window, int last, std::size_t length, int protection) {
  const std::size_t range = (length + kWindow - 1) / kWindow * kWindow;
  void *base =
      ::mmap(nullptr, range, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED) {
    return nullptr;
  }
  auto *bytes = static_cast<unsigned char *>(base);
  for (std::size_t at = 0; at < range; at += kWindow) {
    const int file = at + kWindow >= range && last >= 0 ? last : window;
    if (::mmap(bytes + at, kWindow, protection, MAP_SHARED | MAP_FIXED | MAP_POPULATE, file, 0) ==
        MAP_FAILED) {
      return nullptr;
    }
  }
  return bytes;
}

int MakeWindow(const char *name) {
  const int window = ::memfd_create(name, 0);
  return window >= 0 && ::ftruncate(window, kWindow) == 0 ? window : -1;
}

// Encodes the largest allowed length without holding 4 GiB in, or 5.3 GiB
// out: input and output are address ranges that map one small window again
// and again, so that every read and write lands on the same few pages.
TEST(Base64, LargestImageEncodesToTheEndAndStops) {
  constexpr std::size_t kLength = 0xFFFFFFFFu;
  const std::size_t outLength = Base64EncodedLength(kLength);
  const int zeros = MakeWindow("zeros");
  const int last = MakeWindow("last");
  const int output = MakeWindow("output");
  ASSERT_TRUE(zeros >= 0 && last >= 0 && output >= 0);
  // The input ends in three 0xFF bytes, so that the tail is checked too.
  const unsigned char ones[3] = {0xFF, 0xFF, 0xFF};
  ASSERT_EQ(::pwrite(last, ones, 3, static_cast<off_t>((kLength - 3) % kWindow)), 3);
  const unsigned char *input = RepeatWindow(zeros, last, kLength, PROT_READ);
  auto *out = reinterpret_cast<char *>(RepeatWindow(output, -1, outLength, PROT_READ | PROT_WRITE));
  ASSERT_NE(input, nullptr);
  ASSERT_NE(out, nullptr);

  const char *end = Base64EncodeInto(input, kLength, out);
  EXPECT_EQ(static_cast<std::size_t>(end - out), outLength);
  const std::size_t tail = (outLength - 4) % kWindow;
  EXPECT_EQ(std::string(out + tail - 8, 12), "AAAAAAAA////");
  ::munmap(out, (outLength + kWindow - 1) / kWindow * kWindow);
  ::munmap(const_cast<unsigned char *>(input), (kLength + kWindow - 1) / kWindow * kWindow);
  for (const int window : {zeros, last, output}) {
    ::close(window);
  }
}
#else
TEST(Base64, LargestImageEncodesToTheEndAndStops) {
  GTEST_SKIP() << "sanitizers shadow every byte written: the 5.3 GiB of output would be real";
}
#endif

} // namespace
