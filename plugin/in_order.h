// Jobs run one at a time, in the order they were handed in, on the threads
// that hand them in: the frames of the dials' strips leave through it, so
// that a strip's frames leave in the order of the changes they show.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

class cInOrder {
public:
  // Runs `job` after every job handed in before it. The thread that finds no
  // job running runs this one and every job handed in meanwhile, then
  // returns; a thread that finds one running leaves its job to that thread
  // and returns at once, so no thread ever waits for another here. The mutex
  // is never held while a job runs: a job may take other locks and send. A
  // job that fails with an exception loses what it had left to do; the jobs
  // after it still run.
  void Run(std::function<void()> job);

private:
  // Guards mWaiting and mRunning, held only to hand a job in or take one out.
  std::mutex mMutex;
  std::deque<std::function<void()>> mWaiting;
  bool mRunning = false;
};
