// The desktop application's window, owned by the driver through the
// project's platform layer: "ZORVANEDESKTOP" on a thread of its own that runs
// the message loop. Every command that reaches it is timestamped on arrival.
#pragma once

#include "replies.h"

#include <chrono>
#include <cstdint>
#include <thread>

namespace bench {

struct ReceivedCommand {
  std::uint64_t kind = 0;
  std::uint32_t size = 0;
  bool hasData = false;
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

  // The oldest command not yet taken; throws BenchFailure when none arrives
  // within `limit`.
  ReceivedCommand WaitForCommand(std::chrono::milliseconds limit);

private:
  void *mHandle = nullptr;
  std::thread mThread;
};

} // namespace bench
