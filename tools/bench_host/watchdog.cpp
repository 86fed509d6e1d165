#include "watchdog.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace bench {
namespace {

std::atomic<pid_t> gWatchedProcess{-1};

} // namespace

void SetWatchedProcess(pid_t pid) { gWatchedProcess.store(pid); }

Watchdog::Watchdog(std::chrono::seconds limit) : mThread(&Watchdog::Watch, this, limit) {}

Watchdog::~Watchdog() {
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    mDone = true;
  }
  mDoneChanged.notify_all();
  mThread.join();
}

void Watchdog::Watch(std::chrono::seconds limit) {
  std::unique_lock<std::mutex> lock(mMutex);
  if (mDoneChanged.wait_for(lock, limit, [this] { return mDone; })) {
    return;
  }
  const pid_t watched = gWatchedProcess.load();
  if (watched > 0) {
    ::kill(watched, SIGKILL);
  }
  std::fprintf(stderr, "bench: FAILED: the whole run took longer than %lld s (hang guard)\n",
               static_cast<long long>(limit.count()));
  std::fflush(stderr);
  // Other threads may be blocked for good; nothing below main can be unwound safely.
  std::_Exit(1);
}

} // namespace bench
