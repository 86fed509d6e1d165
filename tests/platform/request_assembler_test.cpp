// The receiving side's framing of the POSIX desktop link: a request is its
// header, then exactly the bytes the header announces, however the bytes are
// split on the way, and memory follows the bytes that have actually come.
#include "platform/posix/link_wire.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace posix = platform::posix;

std::string HeaderBytes(std::uint32_t flags, std::uint32_t size, std::uint32_t magic = 0x5A444C31) {
  posix::MessageHeader header;
  header.flags = flags;
  header.kind = 0x160005;
  header.sender = 0x1234560001;
  header.size = size;
  const auto bytes = posix::EncodeHeader(header);
  std::string text(bytes.begin(), bytes.end());
  text.replace(0, 4, reinterpret_cast<const char *>(&magic), 4);
  return text;
}

constexpr std::uint32_t kWithBytes = posix::kHasStructure | posix::kHasBytes;

std::string Collected(const posix::RequestAssembler &request) {
  return std::string(reinterpret_cast<const char *>(request.Data()), request.DataSize());
}

TEST(RequestAssembler, RequestSplitIntoAnyPiecesArrivesWhole) {
  const std::string data = "{\"listType\":\"emote\"}" + std::string(200000, 'x') + '\0';
  const std::string wire = HeaderBytes(kWithBytes, static_cast<std::uint32_t>(data.size())) + data;
  for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{32}, wire.size()}) {
    posix::RequestAssembler request;
    for (std::size_t at = 0; at < wire.size(); at += piece) {
      const std::size_t count = std::min(piece, wire.size() - at);
      ASSERT_EQ(request.Feed(wire.data() + at, count), count);
      EXPECT_EQ(request.Complete(), at + count == wire.size());
    }
    EXPECT_EQ(request.Header().kind, 0x160005u);
    EXPECT_EQ(request.Header().sender, 0x1234560001u);
    EXPECT_EQ(Collected(request), data) << "pieces of " << piece;
  }
}

TEST(RequestAssembler, NothingBeyondTheAnnouncedBytesIsTaken) {
  const std::string wire = HeaderBytes(kWithBytes, 3) + "abcEXTRA";
  posix::RequestAssembler request;
  EXPECT_EQ(request.Feed(wire.data(), wire.size()), posix::kHeaderSize + 3);
  EXPECT_TRUE(request.Complete());
  EXPECT_EQ(Collected(request), "abc");
  EXPECT_EQ(request.NextRoom().size, 0u);
  EXPECT_EQ(request.Feed("more", 4), 0u);
}

TEST(RequestAssembler, HeaderWithoutBytesIsCompleteAtOnce) {
  for (std::uint32_t flags : {0u, posix::kHasStructure}) {
    const std::string wire = HeaderBytes(flags, 14) + "data";
    posix::RequestAssembler request;
    EXPECT_EQ(request.Feed(wire.data(), wire.size()), posix::kHeaderSize);
    EXPECT_TRUE(request.Complete());
    EXPECT_EQ(request.Header().size, 14u);
    EXPECT_EQ(request.DataSize(), 0u);
  }
}

TEST(RequestAssembler, ForeignHeaderIsRefusedAndNothingMoreIsRead) {
  const std::string headers[] = {
      HeaderBytes(kWithBytes, 4, 0x31444C5A),        // wrong magic
      HeaderBytes(posix::kHasBytes, 4),              // bytes without a structure
      HeaderBytes(kWithBytes | 4, 4),                // an unknown flag
      HeaderBytes(kWithBytes, posix::kMaxBytes + 1), // more than any message
  };
  for (const std::string &header : headers) {
    posix::RequestAssembler request;
    EXPECT_EQ(request.Feed(header.data(), header.size()), posix::kHeaderSize);
    EXPECT_TRUE(request.Refused());
    EXPECT_FALSE(request.Complete());
    EXPECT_EQ(request.NextRoom().size, 0u);
  }
}

TEST(RequestAssembler, MemoryFollowsTheBytesThatArrivedNotTheClaim) {
  const std::string header = HeaderBytes(kWithBytes, posix::kMaxBytes);
  posix::RequestAssembler request;
  ASSERT_EQ(request.Feed(header.data(), header.size()), posix::kHeaderSize);
  EXPECT_LE(request.Capacity(), posix::RequestAssembler::kChunk);
  ASSERT_EQ(request.Feed("0123456789", 10), 10u);
  EXPECT_LE(request.Capacity(), posix::RequestAssembler::kChunk);

  const std::string megabyte(1 << 20, 'm');
  ASSERT_EQ(request.Feed(megabyte.data(), megabyte.size()), megabyte.size());
  EXPECT_FALSE(request.Complete());
  EXPECT_LE(request.Capacity(), 2 * (megabyte.size() + posix::RequestAssembler::kChunk));
}

TEST(RequestAssembler, RoomNeverExceedsAChunkNorWhatIsMissing) {
  const std::string header = HeaderBytes(kWithBytes, 100000);
  posix::RequestAssembler request;
  EXPECT_EQ(request.NextRoom().size, posix::kHeaderSize);
  request.Feed(header.data(), 5);
  EXPECT_EQ(request.NextRoom().size, posix::kHeaderSize - 5);
  request.Feed(header.data() + 5, header.size() - 5);
  EXPECT_EQ(request.NextRoom().size, posix::RequestAssembler::kChunk);
  const std::string most(100000 - 10, 'x');
  request.Feed(most.data(), most.size());
  EXPECT_EQ(request.NextRoom().size, 10u);
}

} // namespace
