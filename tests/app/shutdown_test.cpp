// However the session ends, the notification window is closed, the message
// loop returns and the exit code tells how it ended.
#include "app/plugin_app.h"
#include "streamdeck/session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>

namespace {

int RunSession(void (*session)()) {
  platform::WindowHandleCell cell;
  EXPECT_EQ(platform::CreateNotificationWindow(cell, nullptr), 0);
  std::future<void> worker =
      std::async(std::launch::async, [session, &cell] { RunThenCloseWindow(session, cell); });
  const int exitCode = RunUntilSessionEnds(cell, worker, nullptr);
  EXPECT_EQ(cell.handle.load(), nullptr);
  return exitCode;
}

// A session that runs until it is closed, and counts its closings.
class SessionUntilClosed : public ESDSession {
public:
  void Run() override {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [this] { return mClosings > 0; });
  }
  void Send(std::string) override {}
  void Close() override {
    {
      const std::lock_guard<std::mutex> lock(mMutex);
      ++mClosings;
    }
    mChanged.notify_all();
  }
  int Closings() const {
    const std::lock_guard<std::mutex> lock(mMutex);
    return mClosings;
  }

private:
  mutable std::mutex mMutex; // guards mClosings
  std::condition_variable mChanged;
  int mClosings = 0;
};

TEST(Shutdown, SessionThatEndsClosesTheWindowWithExitCodeZero) {
  EXPECT_EQ(RunSession([] {}), 0);
}

TEST(Shutdown, SessionThatThrowsStillClosesTheWindowWithExitCodeOne) {
  EXPECT_EQ(RunSession([] { throw std::runtime_error("unexpected"); }), 1);
}

TEST(Shutdown, WindowCanBeCreatedAgainAfterItWasClosed) {
  EXPECT_EQ(RunSession([] {}), 0);
  EXPECT_EQ(RunSession([] {}), 0);
}

// Any process may ask the notification window to close (WM_CLOSE on Windows,
// SIGTERM on POSIX) while the Stream Deck session goes on: the session is
// then ended too, and the process exits as when the host closes.
TEST(Shutdown, WindowThatClosesFirstEndsTheSessionWithExitCodeZero) {
  SessionUntilClosed session;
  auto ended = std::async(std::launch::async, [&session] {
    platform::WindowHandleCell cell;
    EXPECT_EQ(platform::CreateNotificationWindow(cell, nullptr), 0);
    std::future<void> worker = std::async(std::launch::async, [&session, &cell] {
      RunThenCloseWindow([&session] { session.Run(); }, cell);
    });
    platform::PostCloseRequest(cell.handle.load());
    return RunUntilSessionEnds(cell, worker, &session);
  });
  // A hang guard only: without the closing, the worker would never return.
  if (ended.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    session.Close();
    ADD_FAILURE() << "the session went on after its window had closed";
  }
  EXPECT_EQ(ended.get(), 0);
  EXPECT_EQ(session.Closings(), 1);
}

} // namespace
