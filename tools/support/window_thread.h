// A titled window served by a thread of its own, closed when its owner ends:
// the desktop side for tests and tools alike.
#pragma once

#include "platform/platform.h"

#include <future>
#include <string>
#include <thread>

class WindowThread {
public:
  WindowThread(const std::string &title, platform::CopyDataHandler handler) {
    std::promise<platform::WindowHandle> created;
    auto handle = created.get_future();
    mThread = std::thread([&created, title, handler] {
      const platform::WindowHandle window = platform::CreateTitledWindow(title, handler);
      created.set_value(window);
      if (window != nullptr) {
        platform::RunMessageLoop();
      }
    });
    mThreadId = mThread.get_id();
    mHandle = handle.get();
    if (mHandle == nullptr) {
      mThread.join();
    }
  }
  ~WindowThread() { Close(); }
  WindowThread(const WindowThread &) = delete;
  WindowThread &operator=(const WindowThread &) = delete;

  void Close() {
    if (mThread.joinable()) {
      platform::PostCloseRequest(mHandle);
      mThread.join();
    }
  }
  platform::WindowHandle Handle() const { return mHandle; }
  std::thread::id ThreadId() const { return mThreadId; }

private:
  std::thread mThread;
  platform::WindowHandle mHandle = nullptr;
  std::thread::id mThreadId;
};
