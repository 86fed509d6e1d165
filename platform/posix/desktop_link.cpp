// Finding a window by its title and sending it one message over the POSIX
// desktop link, blocking until the receiver has answered.
#include "platform/platform.h"
#include "platform/posix/link_wire.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

// Closes the socket however the exchange ends.
class Socket {
public:
  Socket() : mFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (mFd >= 0) {
      ::close(mFd);
    }
  }
  Socket(const Socket &) = delete;
  Socket &operator=(const Socket &) = delete;
  int Fd() const { return mFd; }

private:
  int mFd;
};

bool Connect(const Socket &socket, const std::string &path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket.Fd() < 0 || path.size() >= sizeof address.sun_path) {
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int result;
  do {
    result = ::connect(socket.Fd(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

// Connects to the window's endpoint, and only if the kernel says that the
// process listening there is the one the handle names.
bool ConnectToWindow(const Socket &socket, const std::string &directory, WindowHandle window) {
  return Connect(socket, posix::EndpointPath(directory, window)) &&
         posix::PeerProcess(socket.Fd()) == posix::OwnerOf(window);
}

bool WriteAll(int fd, const void *data, std::size_t size) {
  const char *next = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t written = ::send(fd, next, size, MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    next += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ReadAll(int fd, void *data, std::size_t size) {
  char *next = static_cast<char *>(data);
  while (size > 0) {
    const ssize_t got = ::recv(fd, next, size, 0);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return false;
    }
    next += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

WindowHandle ParseEndpointName(const std::string &name) {
  const std::string prefix = "window-";
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) {
    return nullptr;
  }
  char *end = nullptr;
  const unsigned long long value = std::strtoull(name.c_str() + prefix.size(), &end, 16);
  if (*end != '\0') {
    return nullptr;
  }
  return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(value));
}

} // namespace

WindowHandle FindWindowByTitle(const std::string &title) {
  const std::string directory = posix::RuntimeDirectory();
  if (directory.empty()) {
    return nullptr;
  }
  char target[PATH_MAX];
  const std::string titlePath = posix::TitlePath(directory, title);
  const ssize_t length = ::readlink(titlePath.c_str(), target, sizeof target - 1);
  if (length <= 0) {
    return nullptr;
  }
  const WindowHandle window =
      ParseEndpointName(std::string(target, static_cast<std::size_t>(length)));
  // A link left behind by a process that has gone finds nobody listening.
  const Socket probe;
  return window != nullptr && ConnectToWindow(probe, directory, window) ? window : nullptr;
}

WindowHandle FindDesktopWindow() { return FindWindowByTitle("ZORVANEDESKTOP"); }

std::intptr_t SendCopyData(WindowHandle target, WindowHandle from, const CopyData *data) {
  const std::string directory = posix::RuntimeDirectory();
  const Socket socket;
  if (target == nullptr || directory.empty() || !ConnectToWindow(socket, directory, target)) {
    return 0;
  }
  posix::MessageHeader header;
  header.sender = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(from));
  if (data != nullptr) {
    header.flags = posix::kHasStructure | (data->data != nullptr ? posix::kHasBytes : 0u);
    header.kind = data->kind;
    header.size = data->size;
  }
  const auto headerBytes = posix::EncodeHeader(header);
  const bool sent =
      WriteAll(socket.Fd(), headerBytes.data(), headerBytes.size()) &&
      ((header.flags & posix::kHasBytes) == 0 || WriteAll(socket.Fd(), data->data, data->size));
  std::array<unsigned char, posix::kReplySize> reply{};
  if (!sent || !ReadAll(socket.Fd(), reply.data(), reply.size())) {
    return 0;
  }
  return static_cast<std::intptr_t>(posix::DecodeReply(reply));
}

} // namespace platform
