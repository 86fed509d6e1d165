// The POSIX desktop link's shared pieces: where endpoints live, how handles
// are made, and the fixed header of one message. See docs/desktop-link-posix.md.
#pragma once

#include "platform/platform.h"

#include <array>
#include <cstdint>
#include <string>
#include <sys/types.h>

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

// The per-user folder of the endpoints, created with mode 0700 when missing.
// Empty when it cannot be created or is not private to this user.
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
