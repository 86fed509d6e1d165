// The notification window on POSIX: the main thread's message loop is an asio
// I/O context, and the "window" is the work that keeps it running. Closing the
// window drops that work and stops the loop, as the quit message does on Windows.
#include "platform/platform.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <cstdint>
#include <optional>
#include <unistd.h>

namespace platform {
namespace {

using WorkGuard = asio::executor_work_guard<asio::io_context::executor_type>;

struct NotificationWindow {
  asio::io_context loop;
  // Touched on the main thread only: set at creation, reset when destroyed.
  std::optional<WorkGuard> alive;
  WindowHandle handle = nullptr;
  CopyDataHandler onCopyData = nullptr;
};

NotificationWindow &Window() {
  static NotificationWindow window;
  return window;
}

// The handle is the process id: unique per process and meaningful to a peer.
WindowHandle OwnHandle() {
  return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(::getpid()));
}

void DestroyWindow(NotificationWindow &window) {
  window.alive.reset();
  window.handle = nullptr;
  window.loop.stop();
}

} // namespace

int CreateNotificationWindow(WindowHandleCell &cell, CopyDataHandler onCopyData) {
  NotificationWindow &window = Window();
  if (window.alive) {
    return -1;
  }
  window.loop.restart();
  window.alive.emplace(window.loop.get_executor());
  window.handle = OwnHandle();
  window.onCopyData = onCopyData;
  cell.handle.store(window.handle);
  return 0;
}

void RunMessageLoop() { Window().loop.run(); }

void PostCloseRequest(WindowHandle target) {
  NotificationWindow &window = Window();
  asio::post(window.loop, [&window, target] {
    if (window.alive && target != nullptr && target == window.handle) {
      DestroyWindow(window);
    }
  });
}

} // namespace platform
