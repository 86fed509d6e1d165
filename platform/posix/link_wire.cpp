#include "platform/posix/link_wire.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace posix {
namespace {

template <typename T> void Put(unsigned char *&out, T value) {
  std::memcpy(out, &value, sizeof value);
  out += sizeof value;
}

template <typename T> T Take(const unsigned char *&in) {
  T value;
  std::memcpy(&value, in, sizeof value);
  in += sizeof value;
  return value;
}

bool IsPrivateDirectory(const std::string &path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
}

} // namespace

std::array<unsigned char, kHeaderSize> EncodeHeader(const MessageHeader &header) {
  std::array<unsigned char, kHeaderSize> bytes{};
  unsigned char *out = bytes.data();
  Put(out, kMagic);
  Put(out, header.flags);
  Put(out, header.kind);
  Put(out, header.sender);
  Put(out, header.size);
  Put(out, std::uint32_t{0});
  return bytes;
}

bool DecodeHeader(const std::array<unsigned char, kHeaderSize> &bytes, MessageHeader &header) {
  const unsigned char *in = bytes.data();
  if (Take<std::uint32_t>(in) != kMagic) {
    return false;
  }
  header.flags = Take<std::uint32_t>(in);
  header.kind = Take<std::uint64_t>(in);
  header.sender = Take<std::uint64_t>(in);
  header.size = Take<std::uint32_t>(in);
  const bool bytesWithoutStructure =
      (header.flags & kHasBytes) != 0 && (header.flags & kHasStructure) == 0;
  return (header.flags & ~(kHasStructure | kHasBytes)) == 0 && !bytesWithoutStructure &&
         header.size <= kMaxBytes;
}

std::array<unsigned char, kReplySize> EncodeReply(std::int64_t result) {
  std::array<unsigned char, kReplySize> bytes{};
  unsigned char *out = bytes.data();
  Put(out, result);
  return bytes;
}

std::int64_t DecodeReply(const std::array<unsigned char, kReplySize> &bytes) {
  const unsigned char *in = bytes.data();
  return Take<std::int64_t>(in);
}

std::string RuntimeDirectory() {
  const char *runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string directory = runtime != nullptr && runtime[0] == '/'
                                    ? std::string(runtime) + "/zorvane"
                                    : "/tmp/zorvane-" + std::to_string(::geteuid());
  // An existing folder is used only if it is ours and nobody else may enter
  // it: the sockets inside are the whole of the link's access control.
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    return std::string();
  }
  return IsPrivateDirectory(directory) ? directory : std::string();
}

WindowHandle MakeHandle() {
  static std::atomic<std::uint16_t> counter{0};
  const std::uint64_t index = static_cast<std::uint16_t>(counter.fetch_add(1) + 1);
  const std::uint64_t value = (static_cast<std::uint64_t>(::getpid()) << 16) | index;
  return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(value));
}

pid_t OwnerOf(WindowHandle handle) {
  return static_cast<pid_t>(reinterpret_cast<std::uintptr_t>(handle) >> 16);
}

std::string EndpointName(WindowHandle handle) {
  char name[32];
  std::snprintf(name, sizeof name, "window-%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
  return name;
}

std::string EndpointPath(const std::string &directory, WindowHandle handle) {
  return directory + "/" + EndpointName(handle);
}

std::string TitlePath(const std::string &directory, const std::string &title) {
  return directory + "/" + title;
}

pid_t PeerProcess(int socket) {
  struct ucred credentials {};
  socklen_t length = sizeof credentials;
  if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
    return -1;
  }
  return credentials.pid;
}

} // namespace posix
} // namespace platform
