// Finding a window by its title and sending it one message over the POSIX
// desktop link. Each call runs its own asio context on the calling thread, so
// that it never re-enters the loop of a window that the thread may own, and
// a deadline closes the socket of a call that takes too long.
#include "platform/platform.h"
#include "platform/posix/link_client.h"
#include "platform/posix/link_wire.h"
#include "platform/posix/state.h"

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/read.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <climits>
#include <cstdlib>
#include <optional>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace posix {
namespace {

using Protocol = asio::local::stream_protocol;

// One connection to a window, with the deadline of the whole call.
class Call {
public:
  explicit Call(Duration limit) : mSocket(mContext), mDeadline(mContext) {
    mDeadline.expires_after(limit);
    mDeadline.async_wait([this](asio::error_code error) {
      if (!error) {
        asio::error_code ignored; // closing only cuts the call short
        mSocket.close(ignored);
      }
    });
  }

  // Connects to the window's endpoint, and succeeds only if the kernel says
  // that the process listening there is the one the handle names. A listener
  // whose backlog is full refuses at once and counts as absent.
  bool ConnectTo(const std::string &directory, WindowHandle window) {
    const std::string path = EndpointPath(directory, window);
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
      return false;
    }
    const asio::error_code error = Step(
        [this, &path](auto handler) { mSocket.async_connect(Protocol::endpoint(path), handler); });
    if (error || !mSocket.is_open()) {
      return false;
    }
    const pid_t listener = PeerProcess(mSocket.native_handle());
    return listener > 0 && listener == OwnerOf(window);
  }

  bool Write(const std::vector<asio::const_buffer> &buffers) {
    return !Step([this, &buffers](auto handler) { asio::async_write(mSocket, buffers, handler); });
  }

  template <typename Buffer> bool Read(Buffer buffer) {
    return !Step([this, &buffer](auto handler) { asio::async_read(mSocket, buffer, handler); });
  }

private:
  // Starts one asynchronous operation and runs this call's context until it
  // has completed; the deadline completes it by closing the socket.
  template <typename Start> asio::error_code Step(Start start) {
    std::optional<asio::error_code> result;
    start([&result](asio::error_code error, auto &&...) { result = error; });
    while (!result && mContext.run_one() > 0) {
    }
    return result.value_or(asio::error::timed_out);
  }

  asio::io_context mContext;
  Protocol::socket mSocket;
  asio::steady_timer mDeadline;
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
  // A link left behind by a process that has gone finds nobody listening.
  Call probe(limit);
  return window != nullptr && probe.ConnectTo(directory, window) ? window : nullptr;
}

std::intptr_t SendWithin(const std::string &directory, WindowHandle target, WindowHandle from,
                         const CopyData *data, Duration limit) {
  Call call(limit);
  if (target == nullptr || !call.ConnectTo(directory, target)) {
    return 0;
  }
  const MessageHeader header = HeaderFor(from, data);
  const auto headerBytes = EncodeHeader(header);
  std::vector<asio::const_buffer> request{asio::buffer(headerBytes)};
  if ((header.flags & kHasBytes) != 0) {
    request.push_back(asio::buffer(data->data, data->size));
  }
  std::array<unsigned char, kReplySize> reply{};
  if (!call.Write(request) || !call.Read(asio::buffer(reply))) {
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
