// Finding a window by its title and sending it one message over the POSIX
// desktop link. Each call has a non-blocking socket of its own and waits on it
// with poll() until the call's deadline, so that it never re-enters the loop
// of a window that the thread may own, and a peer that never accepts, never
// answers or trickles its reply costs the call no more than its limit.
#include "platform/platform.h"
#include "platform/posix/link_client.h"
#include "platform/posix/link_wire.h"
#include "platform/posix/state.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace posix {
namespace {

using Clock = std::chrono::steady_clock;

// One connection to a window, with the deadline of the whole call.
class Call {
public:
  explicit Call(Duration limit)
      : mDeadline(Clock::now() + limit),
        mSocket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {}
  ~Call() {
    if (mSocket >= 0) {
      ::close(mSocket);
    }
  }
  Call(const Call &) = delete;
  Call &operator=(const Call &) = delete;

  // Connects to the window's endpoint, and succeeds only if the kernel says
  // that the process listening there is the one the handle names.
  bool ConnectTo(const std::string &directory, WindowHandle window) {
    const std::string path = EndpointPath(directory, window);
    sockaddr_un address{};
    if (mSocket < 0 || path.size() >= sizeof address.sun_path) {
      return false;
    }
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, path.size());
    if (!Connect(address)) {
      return false;
    }
    const pid_t listener = PeerProcess(mSocket);
    return listener > 0 && listener == OwnerOf(window);
  }

  // Writes every byte of `parts`, however the kernel splits them up.
  bool Write(iovec *parts, std::size_t count) {
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = count;
    while (message.msg_iovlen > 0) {
      const ssize_t sent = ::sendmsg(mSocket, &message, MSG_NOSIGNAL);
      if (sent >= 0) {
        Skip(message, static_cast<std::size_t>(sent));
      } else if (!MayRetry(POLLOUT)) {
        return false;
      }
    }
    return true;
  }

  // Reads exactly `size` bytes; false when the peer closes first. An answer
  // comes only after the receiver's handling, so each read waits first.
  bool Read(unsigned char *buffer, std::size_t size) {
    while (size > 0 && Wait(POLLIN)) {
      const ssize_t got = ::recv(mSocket, buffer, size, 0);
      if (got == 0 || (got < 0 && errno != EINTR && !WouldBlock())) {
        return false;
      }
      if (got > 0) {
        buffer += got;
        size -= static_cast<std::size_t>(got);
      }
    }
    return size == 0;
  }

private:
  // A listener whose queue of waiting connections is full refuses at once
  // (EAGAIN) and counts as absent. A connection that the kernel completes
  // later reports its outcome as the socket's pending error.
  bool Connect(const sockaddr_un &address) {
    if (::connect(mSocket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
      return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
      return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return Wait(POLLOUT) && ::getsockopt(mSocket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
           error == 0;
  }

  static bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

  // After a call that failed: true when it may be made again, once the
  // socket is ready for `events` if it was not.
  bool MayRetry(short events) { return errno == EINTR || (WouldBlock() && Wait(events)); }

  // Drops the `sent` bytes from the front of the message's parts.
  static void Skip(msghdr &message, std::size_t sent) {
    while (message.msg_iovlen > 0 && sent >= message.msg_iov->iov_len) {
      sent -= message.msg_iov->iov_len;
      ++message.msg_iov;
      --message.msg_iovlen;
    }
    if (message.msg_iovlen > 0) {
      message.msg_iov->iov_base = static_cast<char *>(message.msg_iov->iov_base) + sent;
      message.msg_iov->iov_len -= sent;
    }
  }

  // Waits until the socket is ready for `events`, or has failed; false once
  // the deadline has passed. The wait is rounded up to whole milliseconds,
  // so it never wakes just before the deadline to spin.
  bool Wait(short events) {
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(mDeadline - Clock::now());
      if (left.count() <= 0) {
        return false;
      }
      pollfd entry{mSocket, events, 0};
      const int ready =
          ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
      if (ready > 0) {
        return true;
      }
      if (ready < 0 && errno != EINTR) {
        return false;
      }
    }
  }

  Clock::time_point mDeadline;
  int mSocket;
};

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

MessageHeader HeaderFor(WindowHandle from, const CopyData *data) {
  MessageHeader header;
  header.sender = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(from));
  if (data != nullptr) {
    header.flags = kHasStructure | (data->data != nullptr ? kHasBytes : 0u);
    header.kind = data->kind;
    header.size = data->size;
  }
  return header;
}

} // namespace

WindowHandle FindWithin(const std::string &directory, const std::string &title, Duration limit) {
  char target[PATH_MAX];
  const std::string titlePath = TitlePath(directory, title);
  const ssize_t length = ::readlink(titlePath.c_str(), target, sizeof target - 1);
  if (length <= 0) {
    return nullptr;
  }
  const WindowHandle window =
      ParseEndpointName(std::string(target, static_cast<std::size_t>(length)));
  if (window == nullptr) {
    return nullptr;
  }
  // A link left behind by a process that has gone finds nobody listening.
  Call probe(limit);
  return probe.ConnectTo(directory, window) ? window : nullptr;
}

std::intptr_t SendWithin(const std::string &directory, WindowHandle target, WindowHandle from,
                         const CopyData *data, Duration limit) {
  if (target == nullptr) {
    return 0;
  }
  Call call(limit);
  if (!call.ConnectTo(directory, target)) {
    return 0;
  }
  const MessageHeader header = HeaderFor(from, data);
  auto headerBytes = EncodeHeader(header);
  iovec request[2] = {{headerBytes.data(), headerBytes.size()}, {nullptr, 0}};
  if ((header.flags & kHasBytes) != 0) {
    request[1] = {const_cast<void *>(data->data), data->size}; // only read from
  }
  std::array<unsigned char, kReplySize> reply{};
  if (!call.Write(request, 2) || !call.Read(reply.data(), reply.size())) {
    return 0;
  }
  return static_cast<std::intptr_t>(DecodeReply(reply));
}

} // namespace posix

WindowHandle FindWindowByTitle(const std::string &title) {
  const std::string directory = posix::RuntimeDirectory();
  return directory.empty() ? nullptr : posix::FindWithin(directory, title, posix::kLookupLimit);
}

WindowHandle FindDesktopWindow() { return FindWindowByTitle("ZORVANEDESKTOP"); }

std::intptr_t SendCopyData(WindowHandle target, WindowHandle from, const CopyData *data) {
  if (const auto handled = posix::HandleOnThisThread(target, from, data)) {
    return *handled;
  }
  const std::string directory = posix::RuntimeDirectory();
  return directory.empty()
             ? 0
             : posix::SendWithin(directory, target, from, data, posix::kExchangeLimit);
}

} // namespace platform
