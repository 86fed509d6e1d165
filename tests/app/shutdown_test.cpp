// However the session ends, the notification window is closed, the message
// loop returns and the exit code tells how it ended.
#include "app/plugin_app.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

namespace {

int RunSession(void (*session)()) {
  platform::WindowHandleCell cell;
  EXPECT_EQ(platform::CreateNotificationWindow(cell, nullptr), 0);
  std::future<void> worker =
      std::async(std::launch::async, [session, &cell] { RunThenCloseWindow(session, cell); });
  const int exitCode = RunUntilSessionEnds(cell, worker);
  EXPECT_EQ(cell.handle.load(), nullptr);
  return exitCode;
}

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

} // namespace
