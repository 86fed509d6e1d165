// Windows on POSIX. Each thread that creates a window gets a message loop, an
// asio I/O context; a window is an endpoint of the desktop link served by that
// loop. Destroying a window ends its thread's loop, as the quit message that
// the notification window posts on its destruction does on Windows.
#include "platform/platform.h"
#include "platform/posix/link_wire.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

using Loop = asio::io_context;
using WorkGuard = asio::executor_work_guard<Loop::executor_type>;
using Protocol = asio::local::stream_protocol;

// Touched only on the thread whose loop serves it, except for `loop`.
struct Window {
  std::shared_ptr<Loop> loop;
  Protocol::acceptor acceptor;
  WindowHandle handle = nullptr;
  CopyDataHandler onCopyData = nullptr;
  std::string endpointPath;
  std::string titlePath;
  std::optional<WorkGuard> alive;

  explicit Window(std::shared_ptr<Loop> owner) : loop(std::move(owner)), acceptor(*loop) {}
};

// Every live window by handle, so that any thread can ask one to close.
class Registry {
public:
  void Add(const std::shared_ptr<Window> &window) {
    const std::lock_guard<std::mutex> lock(mMutex);
    mWindows[window->handle] = window;
  }
  void Remove(WindowHandle handle) {
    const std::lock_guard<std::mutex> lock(mMutex);
    mWindows.erase(handle);
  }
  std::shared_ptr<Window> Find(WindowHandle handle) const {
    const std::lock_guard<std::mutex> lock(mMutex);
    const auto found = mWindows.find(handle);
    return found == mWindows.end() ? nullptr : found->second;
  }

private:
  mutable std::mutex mMutex; // guards mWindows; held for map operations only
  std::map<WindowHandle, std::shared_ptr<Window>> mWindows;
};

Registry &Windows() {
  static Registry registry;
  return registry;
}

std::shared_ptr<Loop> ThisThreadsLoop() {
  thread_local std::shared_ptr<Loop> loop = std::make_shared<Loop>();
  return loop;
}

// One message from a peer: header, bytes, the handler's result back, closed.
class Exchange : public std::enable_shared_from_this<Exchange> {
public:
  Exchange(Protocol::socket socket, std::weak_ptr<Window> window)
      : mSocket(std::move(socket)), mWindow(std::move(window)) {}

  void Start() {
    auto self = shared_from_this();
    asio::async_read(mSocket, asio::buffer(mHeaderBytes), [self](asio::error_code error, size_t) {
      if (!error) {
        self->OnHeader();
      }
    });
  }

private:
  void OnHeader() {
    if (!posix::DecodeHeader(mHeaderBytes, mHeader)) {
      return; // not a message of this link: dropped, and the socket closes
    }
    const std::size_t size = (mHeader.flags & posix::kHasBytes) != 0 ? mHeader.size : 0;
    mBytes.resize(size);
    auto self = shared_from_this();
    asio::async_read(mSocket, asio::buffer(mBytes), [self](asio::error_code error, size_t) {
      if (!error) {
        self->Answer(self->Handle());
      }
    });
  }

  std::int64_t Handle() {
    const std::shared_ptr<Window> window = mWindow.lock();
    if (!window || !window->alive || window->onCopyData == nullptr) {
      return 0;
    }
    CopyData data;
    data.kind = mHeader.kind;
    data.size = mHeader.size;
    static const char kNoBytes[1] = {};
    if ((mHeader.flags & posix::kHasBytes) != 0) {
      data.data = mBytes.empty() ? kNoBytes : mBytes.data();
    }
    const CopyData *structure = (mHeader.flags & posix::kHasStructure) != 0 ? &data : nullptr;
    return window->onCopyData(VerifiedSender(), structure);
  }

  // The sender's handle counts only if the kernel says that the process at
  // the other end is the one that the handle names; otherwise it is null.
  WindowHandle VerifiedSender() {
    const auto claimed =
        reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(mHeader.sender));
    const pid_t peer = posix::PeerProcess(mSocket.native_handle());
    return claimed != nullptr && peer > 0 && peer == posix::OwnerOf(claimed) ? claimed : nullptr;
  }

  void Answer(std::int64_t result) {
    mReply = posix::EncodeReply(result);
    auto self = shared_from_this();
    asio::async_write(mSocket, asio::buffer(mReply), [self](asio::error_code, size_t) {});
  }

  Protocol::socket mSocket;
  std::weak_ptr<Window> mWindow;
  std::array<unsigned char, posix::kHeaderSize> mHeaderBytes{};
  posix::MessageHeader mHeader;
  std::vector<char> mBytes;
  std::array<unsigned char, posix::kReplySize> mReply{};
};

void AcceptNext(const std::shared_ptr<Window> &window) {
  std::weak_ptr<Window> weak = window;
  window->acceptor.async_accept([weak](asio::error_code error, Protocol::socket peer) {
    const std::shared_ptr<Window> owner = weak.lock();
    if (error || !owner || !owner->alive) {
      return;
    }
    std::make_shared<Exchange>(std::move(peer), weak)->Start();
    AcceptNext(owner);
  });
}

bool Listen(Window &window, const std::string &directory) {
  window.endpointPath = posix::EndpointPath(directory, window.handle);
  ::unlink(window.endpointPath.c_str()); // left behind by a process that had this id before
  asio::error_code error;
  window.acceptor.open(Protocol(), error);
  if (!error) {
    window.acceptor.bind(Protocol::endpoint(window.endpointPath), error);
  }
  if (!error) {
    window.acceptor.listen(asio::socket_base::max_listen_connections, error);
  }
  return !error;
}

// Points the title's link at the window, replacing any earlier one at once.
bool Publish(Window &window, const std::string &directory, const std::string &title) {
  window.titlePath = posix::TitlePath(directory, title);
  const std::string staged = window.titlePath + "." + posix::EndpointName(window.handle);
  ::unlink(staged.c_str());
  return ::symlink(posix::EndpointName(window.handle).c_str(), staged.c_str()) == 0 &&
         ::rename(staged.c_str(), window.titlePath.c_str()) == 0;
}

void Unpublish(const Window &window) {
  if (window.titlePath.empty()) {
    return;
  }
  // Only our own link is removed: a newer window may have taken the title.
  char target[256];
  const ssize_t length = ::readlink(window.titlePath.c_str(), target, sizeof target);
  if (length > 0 &&
      std::string(target, static_cast<std::size_t>(length)) == posix::EndpointName(window.handle)) {
    ::unlink(window.titlePath.c_str());
  }
}

void Destroy(const std::shared_ptr<Window> &window) {
  if (!window->alive) {
    return;
  }
  window->alive.reset();
  Unpublish(*window);
  asio::error_code ignored; // closing a listening socket has nothing to report
  window->acceptor.close(ignored);
  ::unlink(window->endpointPath.c_str());
  Windows().Remove(window->handle);
  window->loop->stop();
}

WindowHandle CreateWindow(const std::string *title, CopyDataHandler onCopyData) {
  const std::string directory = posix::RuntimeDirectory();
  if (directory.empty()) {
    return nullptr;
  }
  const std::shared_ptr<Loop> loop = ThisThreadsLoop();
  auto window = std::make_shared<Window>(loop);
  window->handle = posix::MakeHandle();
  window->onCopyData = onCopyData;
  if (!Listen(*window, directory)) {
    return nullptr;
  }
  if (title != nullptr && !Publish(*window, directory, *title)) {
    ::unlink(window->endpointPath.c_str());
    return nullptr;
  }
  if (loop->stopped()) {
    loop->restart();
  }
  window->alive.emplace(loop->get_executor());
  Windows().Add(window);
  AcceptNext(window);
  return window->handle;
}

} // namespace

int CreateNotificationWindow(WindowHandleCell &cell, CopyDataHandler onCopyData) {
  const WindowHandle window = CreateWindow(nullptr, onCopyData);
  if (window == nullptr) {
    return -1;
  }
  cell.handle.store(window);
  return 0;
}

WindowHandle CreateTitledWindow(const std::string &title, CopyDataHandler onCopyData) {
  if (title.empty() || title.find('/') != std::string::npos || title[0] == '.') {
    return nullptr;
  }
  return CreateWindow(&title, onCopyData);
}

void RunMessageLoop() { ThisThreadsLoop()->run(); }

void PostCloseRequest(WindowHandle target) {
  const std::shared_ptr<Window> window = Windows().Find(target);
  if (window) {
    asio::post(*window->loop, [window] { Destroy(window); });
  }
}

} // namespace platform
