// Windows on POSIX. Each thread that creates a window gets a message loop, an
// asio I/O context; a window is an endpoint of the desktop link served by that
// loop. Destroying a window ends its thread's loop, as the quit message that
// the notification window posts on its destruction does on Windows.
#include "platform/platform.h"
#include "platform/posix/link_wire.h"
#include "platform/posix/state.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/post.hpp>
#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <chrono>
#include <csignal>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

using Loop = asio::io_context;
using WorkGuard = asio::executor_work_guard<Loop::executor_type>;
using Protocol = asio::local::stream_protocol;

// A peer has this long to deliver its whole request once connected; one that
// connects and sends nothing, or only part of a message, is then dropped.
constexpr auto kRequestLimit = std::chrono::seconds(5);
// The pause before accepting again after a failed accept (out of descriptors
// or memory, mostly): the listening socket stays readable, so an immediate
// retry would spin.
constexpr auto kAcceptPause = std::chrono::milliseconds(50);

} // namespace

// Touched only on the thread whose loop serves it, except for `loop` and
// `thread`, which never change.
struct posix::Window {
  std::shared_ptr<Loop> loop;
  std::thread::id thread;
  Protocol::acceptor acceptor;
  asio::steady_timer acceptPause;
  WindowHandle handle = nullptr;
  CopyDataHandler onCopyData = nullptr;
  std::string endpointPath;
  std::string titlePath;
  std::optional<asio::signal_set> closeSignals;
  std::optional<WorkGuard> alive;

  explicit Window(std::shared_ptr<Loop> owner)
      : loop(std::move(owner)), thread(std::this_thread::get_id()), acceptor(*loop),
        acceptPause(*loop) {}
};

posix::State &posix::TheState() {
  static State state;
  return state;
}

namespace {

using posix::TheState;
using posix::Window;

std::shared_ptr<Window> FindWindow(WindowHandle handle) {
  posix::State &state = TheState();
  const std::lock_guard<std::mutex> lock(state.mutex);
  const auto found = state.windows.find(handle);
  return found == state.windows.end() ? nullptr : found->second;
}

// The calling thread's loop; a new one when its windows have all gone.
std::shared_ptr<Loop> ThisThreadsLoop() {
  posix::State &state = TheState();
  const std::lock_guard<std::mutex> lock(state.mutex);
  std::weak_ptr<Loop> &entry = state.loops[std::this_thread::get_id()];
  std::shared_ptr<Loop> loop = entry.lock();
  if (!loop) {
    loop = std::make_shared<Loop>();
    entry = loop;
  }
  return loop;
}

// Forgets the loops whose threads have no window left.
void ForgetFinishedLoops(posix::State &state) {
  for (auto entry = state.loops.begin(); entry != state.loops.end();) {
    entry = entry->second.expired() ? state.loops.erase(entry) : std::next(entry);
  }
}

// The handler's view of a sender: the claimed handle when `confirmed`.
WindowHandle SenderIf(bool confirmed, WindowHandle claimed) {
  return confirmed ? claimed : nullptr;
}

// One message from a peer: header, bytes, the handler's result back, closed.
// The request must arrive whole within kRequestLimit.
class Exchange : public std::enable_shared_from_this<Exchange> {
public:
  Exchange(Protocol::socket socket, std::weak_ptr<Window> window)
      : mSocket(std::move(socket)), mDeadline(mSocket.get_executor()), mWindow(std::move(window)) {}

  void Start() {
    auto self = shared_from_this();
    mDeadline.expires_after(kRequestLimit);
    mDeadline.async_wait([self](asio::error_code error) {
      if (!error) {
        asio::error_code ignored; // the peer is dropped either way
        self->mSocket.close(ignored);
      }
    });
    ReadMore();
  }

private:
  void ReadMore() {
    const posix::RequestAssembler::Room room = mRequest.NextRoom();
    auto self = shared_from_this();
    mSocket.async_read_some(asio::buffer(room.data, room.size),
                            [self](asio::error_code error, std::size_t count) {
                              if (!error) {
                                self->Arrived(count);
                              }
                            });
  }

  void Arrived(std::size_t count) {
    mRequest.Took(count);
    if (mRequest.Complete()) {
      Answer(Handle());
    } else if (!mRequest.Refused()) {
      ReadMore();
    }
    // A refused header: not a message of this link; dropped, and the socket closes.
  }

  std::int64_t Handle() {
    const std::shared_ptr<Window> window = mWindow.lock();
    if (!window || !window->alive || window->onCopyData == nullptr) {
      return 0;
    }
    const posix::MessageHeader &header = mRequest.Header();
    CopyData data;
    data.kind = header.kind;
    data.size = header.size;
    static const unsigned char kNoBytes[1] = {};
    if ((header.flags & posix::kHasBytes) != 0) {
      data.data = mRequest.DataSize() == 0 ? kNoBytes : mRequest.Data();
    }
    const CopyData *structure = (header.flags & posix::kHasStructure) != 0 ? &data : nullptr;
    return window->onCopyData(VerifiedSender(), structure);
  }

  // The sender's handle counts only if the kernel says that the process at
  // the other end is the one that the handle names; otherwise it is null.
  WindowHandle VerifiedSender() {
    const auto claimed =
        reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(mRequest.Header().sender));
    const pid_t peer = posix::PeerProcess(mSocket.native_handle());
    return SenderIf(peer > 0 && peer == posix::OwnerOf(claimed), claimed);
  }

  void Answer(std::int64_t result) {
    mReply = posix::EncodeReply(result);
    auto self = shared_from_this();
    asio::async_write(mSocket, asio::buffer(mReply),
                      [self](asio::error_code, std::size_t) { self->mDeadline.cancel(); });
  }

  Protocol::socket mSocket;
  asio::steady_timer mDeadline;
  std::weak_ptr<Window> mWindow;
  posix::RequestAssembler mRequest;
  std::array<unsigned char, posix::kReplySize> mReply{};
};

void AcceptNext(const std::shared_ptr<Window> &window);

// A failed accept ends nothing: accepting goes on after a pause.
void AcceptAfterPause(const std::shared_ptr<Window> &window) {
  std::weak_ptr<Window> weak = window;
  window->acceptPause.expires_after(kAcceptPause);
  window->acceptPause.async_wait([weak](asio::error_code error) {
    const std::shared_ptr<Window> owner = weak.lock();
    if (!error && owner && owner->alive) {
      AcceptNext(owner);
    }
  });
}

void AcceptNext(const std::shared_ptr<Window> &window) {
  std::weak_ptr<Window> weak = window;
  window->acceptor.async_accept([weak](asio::error_code error, Protocol::socket peer) {
    const std::shared_ptr<Window> owner = weak.lock();
    if (!owner || !owner->alive || error == asio::error::operation_aborted) {
      return;
    }
    if (error) {
      AcceptAfterPause(owner);
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
  window->acceptPause.cancel();
  if (!window->endpointPath.empty()) {
    ::unlink(window->endpointPath.c_str());
  }
  // The signals get their default handling back once no window claims them.
  window->closeSignals.reset();
  {
    posix::State &state = TheState();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.windows.erase(window->handle);
    if (state.notificationWindow == window->handle) {
      state.notificationWindow = nullptr;
    }
    ForgetFinishedLoops(state);
  }
  window->loop->stop();
}

// SIGTERM and SIGINT close the window as a close request does, so that the
// process ends the way it ends when its host closes.
void CloseOnSignals(const std::shared_ptr<Window> &window) {
  window->closeSignals.emplace(*window->loop, SIGTERM, SIGINT);
  std::weak_ptr<Window> weak = window;
  window->closeSignals->async_wait([weak](asio::error_code error, int) {
    const std::shared_ptr<Window> owner = weak.lock();
    if (!error && owner) {
      Destroy(owner);
    }
  });
}

std::shared_ptr<Window> NewWindow(CopyDataHandler onCopyData) {
  auto window = std::make_shared<Window>(ThisThreadsLoop());
  window->handle = posix::MakeHandle();
  window->onCopyData = onCopyData;
  return window;
}

// Makes the window live on this thread's loop; it accepts peers if it listens.
WindowHandle Open(const std::shared_ptr<Window> &window) {
  if (window->loop->stopped()) {
    window->loop->restart();
  }
  window->alive.emplace(window->loop->get_executor());
  {
    posix::State &state = TheState();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.windows[window->handle] = window;
  }
  if (window->acceptor.is_open()) {
    AcceptNext(window);
  }
  return window->handle;
}

// Claims the one notification window of the process for `window`; false when
// another one exists.
bool ClaimNotificationWindow(const Window &window) {
  posix::State &state = TheState();
  const std::lock_guard<std::mutex> lock(state.mutex);
  if (state.notificationWindow != nullptr) {
    return false;
  }
  state.notificationWindow = window.handle;
  return true;
}

void ReleaseNotificationWindow(const Window &window) {
  posix::State &state = TheState();
  const std::lock_guard<std::mutex> lock(state.mutex);
  if (state.notificationWindow == window.handle) {
    state.notificationWindow = nullptr;
  }
}

} // namespace

int CreateNotificationWindow(WindowHandleCell &cell, CopyDataHandler onCopyData) {
  const std::shared_ptr<Window> window = NewWindow(onCopyData);
  if (!ClaimNotificationWindow(*window)) {
    return -1;
  }
  // Without a usable folder the link is unavailable: the window exists and
  // closes as always, but nothing can reach it.
  const std::string directory = posix::RuntimeDirectory();
  if (!directory.empty() && !Listen(*window, directory)) {
    ReleaseNotificationWindow(*window);
    return -1;
  }
  CloseOnSignals(window);
  cell.handle.store(Open(window));
  return 0;
}

WindowHandle CreateTitledWindow(const std::string &title, CopyDataHandler onCopyData) {
  if (title.empty() || title.find('/') != std::string::npos || title[0] == '.') {
    return nullptr;
  }
  const std::string directory = posix::RuntimeDirectory();
  if (directory.empty()) {
    return nullptr;
  }
  const std::shared_ptr<Window> window = NewWindow(onCopyData);
  if (!Listen(*window, directory)) {
    return nullptr;
  }
  if (!Publish(*window, directory, title)) {
    ::unlink(window->endpointPath.c_str());
    return nullptr;
  }
  return Open(window);
}

void RunMessageLoop() { ThisThreadsLoop()->run(); }

void PostCloseRequest(WindowHandle target) {
  const std::shared_ptr<Window> window = FindWindow(target);
  if (window) {
    asio::post(*window->loop, [window] { Destroy(window); });
  }
}

std::optional<std::intptr_t> posix::HandleOnThisThread(WindowHandle target, WindowHandle from,
                                                       const CopyData *data) {
  const std::shared_ptr<Window> window = FindWindow(target);
  if (!window || window->thread != std::this_thread::get_id()) {
    return std::nullopt;
  }
  if (!window->alive || window->onCopyData == nullptr) {
    return 0;
  }
  // The sender is this process: a claimed handle counts if it names this process.
  return window->onCopyData(SenderIf(OwnerOf(from) == ::getpid(), from), data);
}

} // namespace platform
