// The desktop application's window, owned by the driver through the
// project's platform layer: "ZORVANEDESKTOP" on a thread of its own that runs
// the message loop. Every command that reaches it is timestamped on arrival.
#pragma once

#include "replies.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace bench {

struct ReceivedCommand {
  std::uint64_t kind = 0;
  std::uint32_t size = 0;
  bool hasData = false;
  std::string bytes;      // the `size` bytes, when there are any
  void *sender = nullptr; // the window that the sender named as its own
  Clock::time_point arrival;
};

class DesktopWindow {
public:
  // Opens the window; throws BenchFailure when it cannot. One at a time.
  DesktopWindow();
  // Closes the window and ends its thread.
  ~DesktopWindow();

  DesktopWindow(const DesktopWindow &) = delete;
  DesktopWindow &operator=(const DesktopWindow &) = delete;

  // The window's own handle, the sender of what the driver sends from it.
  void *Handle() const { return mHandle; }

  // The oldest command not yet taken; throws BenchFailure when none arrives
  // within `limit`.
  ReceivedCommand WaitForCommand(std::chrono::milliseconds limit);

  // Every command not yet taken, oldest first; waits up to `limit` for the
  // first one and returns none when it does not come.
  std::vector<ReceivedCommand> TakeAll(std::chrono::milliseconds limit);

private:
  void *mHandle = nullptr;
  std::thread mThread;
};

} // namespace bench
