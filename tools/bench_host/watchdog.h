// The last line against a hang: every wait of the driver has its own bound,
// and this one bounds the whole run. When it passes, the driver kills the
// plug-in process it is running, says so and exits with 1.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace bench {

class Watchdog {
public:
  explicit Watchdog(std::chrono::seconds limit);
  // Stops watching.
  ~Watchdog();

  Watchdog(const Watchdog &) = delete;
  Watchdog &operator=(const Watchdog &) = delete;

private:
  void Watch(std::chrono::seconds limit);

  // Guards mDone; held only to read or set it.
  std::mutex mMutex;
  std::condition_variable mDoneChanged;
  bool mDone = false;
  std::thread mThread;
};

// The plug-in process that the watchdog kills; -1 for none. Set by PluginProcess.
void SetWatchedProcess(pid_t pid);

} // namespace bench
