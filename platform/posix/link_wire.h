// The POSIX desktop link's shared pieces: where endpoints live, how handles
// are made, and the fixed header of one message. See docs/desktop-link-posix.md.
#pragma once

#include "platform/platform.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {
namespace posix {

constexpr std::uint32_t kMagic = 0x5A444C31; // "ZDL1"
constexpr std::uint32_t kHasStructure = 1;   // lParam is not null
constexpr std::uint32_t kHasBytes = 2;       // lpData is not null
constexpr std::uint32_t kMaxBytes = 64u << 20;
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kReplySize = 8;

struct MessageHeader {
  std::uint32_t flags = 0;
  std::uint64_t kind = 0;
  std::uint64_t sender = 0;
  std::uint32_t size = 0;
};

std::array<unsigned char, kHeaderSize> EncodeHeader(const MessageHeader &header);
// False for a header without the magic number, with unknown flags, or with
// more bytes than any message may carry.
bool DecodeHeader(const std::array<unsigned char, kHeaderSize> &bytes, MessageHeader &header);

std::array<unsigned char, kReplySize> EncodeReply(std::int64_t result);
std::int64_t DecodeReply(const std::array<unsigned char, kReplySize> &bytes);

// Collects one request as its bytes arrive: the fixed header, then the data
// that the header announces. The data buffer grows with the bytes that have
// come, one chunk at a time, so that a header's claim alone costs no memory.
class RequestAssembler {
public:
  static constexpr std::size_t kChunk = 64 * 1024;

  struct Room {
    unsigned char *data;
    std::size_t size;
  };
  // Where the next bytes go: never more than the request still lacks, nor
  // more than one chunk. Empty once the request is complete or refused.
  Room NextRoom();
  // Takes the `count` bytes that were written to the front of NextRoom().
  void Took(std::size_t count);
  // Copies what the request still lacks from `bytes`; returns how many it took.
  std::size_t Feed(const void *bytes, std::size_t size);

  bool Complete() const { return mState == State::kComplete; }
  // The header was not one of this link's: nothing more is read.
  bool Refused() const { return mState == State::kRefused; }
  // Valid once Complete().
  const MessageHeader &Header() const { return mHeader; }
  // The data bytes that have arrived so far; all of them once Complete().
  const unsigned char *Data() const { return mData.data(); }
  std::size_t DataSize() const { return mDataFilled; }
  // Memory held for the data, for checking that it follows what arrived.
  std::size_t Capacity() const { return mData.capacity(); }

private:
  enum class State { kHeader, kData, kComplete, kRefused };
  void HeaderArrived();

  State mState = State::kHeader;
  std::array<unsigned char, kHeaderSize> mHeaderBytes{};
  std::size_t mHeaderFilled = 0;
  MessageHeader mHeader;
  std::size_t mDataWanted = 0;
  std::size_t mDataFilled = 0;
  std::vector<unsigned char> mData;
};

// Where the rule for the endpoints' folder looks (docs/desktop-link-posix.md):
// the session's runtime folder (XDG_RUNTIME_DIR, empty when unset), the
// system's per-user runtime folders, and the shared temporary folder.
struct RuntimePlaces {
  std::string xdgRuntimeDir;
  std::string userRuntimeRoot = "/run/user";
  std::string tempRoot = "/tmp";
  uid_t user = 0;
};

// The endpoints' folder chosen by the rule in `places`, created with mode
// 0700 when missing. Empty when it cannot be created, or when what is there
// is not a real folder owned by `places.user` that nobody else may enter.
std::string RuntimeDirectoryIn(const RuntimePlaces &places);
// The same for this process: its environment, /run/user, /tmp, and its
// effective user as it was at the first call.
std::string RuntimeDirectory();

// A new handle: the process id in the high bits, a counter in the low 16.
WindowHandle MakeHandle();
pid_t OwnerOf(WindowHandle handle);

// The socket that a window listens on, and the link that names a titled window.
std::string EndpointName(WindowHandle handle);
std::string EndpointPath(const std::string &directory, WindowHandle handle);
std::string TitlePath(const std::string &directory, const std::string &title);

// The process at the other end of a connected Unix socket, as the kernel
// tells it; -1 when it cannot be asked.
pid_t PeerProcess(int socket);

} // namespace posix
} // namespace platform
