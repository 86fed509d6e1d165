#include "desktop/command_sender.h"

#include <exception>
#include <utility>

namespace {

class cPlatformDesktopLink : public cDesktopLink {
public:
  platform::WindowHandle FindDesktopWindow() override { return platform::FindDesktopWindow(); }
  void Deliver(platform::WindowHandle desktop, platform::WindowHandle replyTo,
               const platform::CopyData &data) override {
    platform::SendCopyData(desktop, replyTo, &data);
  }
};

} // namespace

cDesktopLink &PlatformDesktopLink() {
  static cPlatformDesktopLink link;
  return link;
}

std::thread StartThread(std::function<void()> body) { return std::thread(std::move(body)); }

cZorvaneCommandSender::cZorvaneCommandSender(const platform::WindowHandleCell &replyTo,
                                             cDesktopLink &link, cThreadStarter startThread)
    : mReplyTo(replyTo), mLink(link), mStartThread(startThread) {}

cZorvaneCommandSender::~cZorvaneCommandSender() {
  std::thread last;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    last = std::move(mThread);
  }
  if (last.joinable()) {
    last.join();
  }
}

void cZorvaneCommandSender::EnqueueCommand(std::unique_ptr<const cCommand> command) {
  std::thread finished;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    mQueue.push_back(std::shared_ptr<const cCommand>(std::move(command)));
    if (mRunning) {
      return;
    }
    // The new thread starts under the mutex, so it waits for this enqueue to
    // finish. The previous, finished thread is swapped out only once the new
    // one exists; if none can be started, everything stays as it was and the
    // queued commands wait for the next enqueue to try again.
    std::thread started;
    try {
      started = mStartThread([this] { ProcessQueue(); });
    } catch (const std::exception &) {
      return;
    }
    finished = std::move(mThread);
    mThread = std::move(started);
    mRunning = true;
  }
  // The previous sender thread released the mutex as its last act; joining
  // it outside the lock keeps callers from waiting on each other.
  if (finished.joinable()) {
    finished.join();
  }
}

bool cZorvaneCommandSender::IsDraining() const {
  const std::lock_guard<std::mutex> lock(mMutex);
  return mRunning;
}

void cZorvaneCommandSender::ProcessQueue() {
  for (;;) {
    std::shared_ptr<const cCommand> command;
    {
      const std::lock_guard<std::mutex> lock(mMutex);
      if (mQueue.empty()) {
        mRunning = false;
        return;
      }
      command = std::move(mQueue.front());
      mQueue.pop_front();
    }
    try {
      Deliver(*command);
    } catch (const std::exception &) {
      // This one command is lost (no memory for its text, or the link failed
      // in an unforeseen way); the others still go out. An exception leaving
      // the thread would end the process.
    }
  }
}

void cZorvaneCommandSender::Deliver(const cCommand &command) {
  const std::string text = command.Serialize();
  const platform::WindowHandle replyTo = mReplyTo.handle.load();
  platform::CopyData data;
  data.kind = command.GetKind();
  // The desktop application is looked up for every command: it may have
  // quit or started again since the last one. While it is absent, commands are dropped.
  const platform::WindowHandle desktop = mLink.FindDesktopWindow();
  if (desktop == nullptr) {
    return;
  }
  if (!text.empty()) {
    data.size = static_cast<std::uint32_t>(text.size() + 1); // the terminating NUL is sent too
    data.data = text.c_str();
  }
  mLink.Deliver(desktop, replyTo, data);
}
