#include "desktop_window.h"

#include "bench_failure.h"
#include "platform/platform.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>

namespace bench {
namespace {

// The commands that reached the window. The window procedure is a plain
// function, so they wait here rather than in the window object.
struct CommandInbox {
  // Guards `commands`; held only to add or take one.
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<ReceivedCommand> commands;
};

CommandInbox &Inbox() {
  static CommandInbox inbox;
  return inbox;
}

std::intptr_t OnCommand(platform::WindowHandle sender, const platform::CopyData *data) {
  ReceivedCommand command;
  command.arrival = Clock::now();
  command.sender = sender;
  if (data != nullptr) {
    command.kind = data->kind;
    command.size = data->size;
    command.hasData = data->data != nullptr;
    if (command.hasData) {
      command.bytes.assign(static_cast<const char *>(data->data), data->size);
    }
  }
  {
    const std::lock_guard<std::mutex> lock(Inbox().mutex);
    Inbox().commands.push_back(command);
  }
  Inbox().arrived.notify_all();
  return 1;
}

} // namespace

DesktopWindow::DesktopWindow() {
  {
    const std::lock_guard<std::mutex> lock(Inbox().mutex);
    Inbox().commands.clear();
  }
  std::promise<platform::WindowHandle> created;
  std::future<platform::WindowHandle> handle = created.get_future();
  mThread = std::thread([&created] {
    const platform::WindowHandle window = platform::CreateTitledWindow("ZORVANEDESKTOP", OnCommand);
    created.set_value(window);
    if (window != nullptr) {
      platform::RunMessageLoop();
    }
  });
  mHandle = handle.get();
  if (mHandle == nullptr) {
    mThread.join();
    throw BenchFailure("cannot open the ZORVANEDESKTOP window");
  }
}

DesktopWindow::~DesktopWindow() {
  platform::PostCloseRequest(mHandle);
  mThread.join();
}

ReceivedCommand DesktopWindow::WaitForCommand(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(Inbox().mutex);
  if (!Inbox().arrived.wait_for(lock, limit, [] { return !Inbox().commands.empty(); })) {
    throw BenchFailure("no command reached the desktop window within " +
                       std::to_string(limit.count()) + " ms (hang guard)");
  }
  const ReceivedCommand command = Inbox().commands.front();
  Inbox().commands.pop_front();
  return command;
}

std::vector<ReceivedCommand> DesktopWindow::TakeAll(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(Inbox().mutex);
  Inbox().arrived.wait_for(lock, limit, [] { return !Inbox().commands.empty(); });
  std::vector<ReceivedCommand> taken(Inbox().commands.begin(), Inbox().commands.end());
  Inbox().commands.clear();
  return taken;
}

} // namespace bench
