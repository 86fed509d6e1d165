#include "plugin/in_order.h"

#include <exception>
#include <utility>

void cInOrder::Run(std::function<void()> job) {
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    mWaiting.push_back(std::move(job));
    if (mRunning) {
      return;
    }
    mRunning = true;
  }
  for (;;) {
    std::function<void()> next;
    {
      const std::lock_guard<std::mutex> lock(mMutex);
      if (mWaiting.empty()) {
        mRunning = false;
        return;
      }
      next = std::move(mWaiting.front());
      mWaiting.pop_front();
    }
    try {
      next();
    } catch (const std::exception &) {
      // Only this job's frames are lost, as an event whose handling fails.
    }
  }
}
