// Everything the POSIX platform layer keeps between calls, in one struct: the
// live windows, each thread's message loop, the notification window and the
// counter that numbers handles.
#pragma once

#include "platform/platform.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace asio {
class io_context;
}

namespace platform {
namespace posix {

struct Window; // defined in message_loop.cpp

struct State {
  // Guards windows, loops and notificationWindow; held only to look up or
  // change them, never while a window is created, destroyed or handles a message.
  std::mutex mutex;
  // Every live window by handle, so that any thread can ask one to close.
  std::map<WindowHandle, std::shared_ptr<Window>> windows;
  // Each thread's message loop, kept alive by that thread's windows.
  std::map<std::thread::id, std::weak_ptr<asio::io_context>> loops;
  // The notification window while it exists; null otherwise.
  WindowHandle notificationWindow = nullptr;
  // Numbers the windows of this process (the low 16 bits of a handle).
  std::atomic<std::uint16_t> handleCounter{0};
};

State &TheState();

// A window of the calling thread handles a message at once, within the
// sender's call, as SendMessageW does; its result then. Empty when `target`
// is not a live window of this thread.
std::optional<std::intptr_t> HandleOnThisThread(WindowHandle target, WindowHandle from,
                                                const CopyData *data);

} // namespace posix
} // namespace platform
