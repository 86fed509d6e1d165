// Delivers commands to the desktop application in the order they were
// enqueued, from a sender thread that exists only while commands wait.
// Callers never wait for the desktop application.
#pragma once

#include "desktop/commands.h"
#include "platform/platform.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Finds the desktop application and hands it one message, waiting until it
// has been handled. The platform provides the real one; tests record.
class cDesktopLink {
public:
  virtual ~cDesktopLink() = default;
  virtual platform::WindowHandle FindDesktopWindow() = 0;
  virtual void Deliver(platform::WindowHandle desktop, platform::WindowHandle replyTo,
                       const platform::CopyData &data) = 0;
};

// Where the plug-in logic hands its commands; the sender in the product,
// a recorder in tests.
class cCommandQueue {
public:
  virtual ~cCommandQueue() = default;
  // Takes the command over; returns without waiting for its delivery.
  virtual void EnqueueCommand(std::unique_ptr<const cCommand> command) = 0;
};

// The link over the platform's messaging.
cDesktopLink &PlatformDesktopLink();

// Starts a thread running `body`; throws as std::thread does when it cannot.
using cThreadStarter = std::thread (*)(std::function<void()> body);

// The standard library's way: a new std::thread.
std::thread StartThread(std::function<void()> body);

class cZorvaneCommandSender : public cCommandQueue {
public:
  // `replyTo` holds the notification window's handle, read at every delivery.
  // `startThread` starts the sender thread (tests make it fail).
  explicit cZorvaneCommandSender(const platform::WindowHandleCell &replyTo,
                                 cDesktopLink &link = PlatformDesktopLink(),
                                 cThreadStarter startThread = StartThread);
  // Waits for the sender thread, which must be able to finish its queue.
  ~cZorvaneCommandSender() override;

  cZorvaneCommandSender(const cZorvaneCommandSender &) = delete;
  cZorvaneCommandSender &operator=(const cZorvaneCommandSender &) = delete;

  // Queues the command and starts a sender thread when none is running. When
  // no thread can be started, the command stays queued and the next enqueue
  // tries again.
  void EnqueueCommand(std::unique_ptr<const cCommand> command) override;

  // True while a sender thread is working through the queue.
  bool IsDraining() const;

private:
  void ProcessQueue();
  void Deliver(const cCommand &command);

  const platform::WindowHandleCell &mReplyTo;
  cDesktopLink &mLink;
  const cThreadStarter mStartThread;
  // Guards mThread, mRunning and mQueue. Held only for queue operations and
  // to start a thread; serialising, the lookup and the delivery run outside it.
  mutable std::mutex mMutex;
  std::thread mThread;
  bool mRunning = false;
  std::deque<std::shared_ptr<const cCommand>> mQueue;
};
