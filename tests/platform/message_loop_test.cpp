#include "platform/platform.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(MessageLoop, CloseRequestFromAnotherThreadEndsTheLoop) {
  platform::WindowHandleCell cell;
  ASSERT_EQ(platform::CreateNotificationWindow(cell, nullptr), 0);
  ASSERT_NE(cell.handle.load(), nullptr);
  std::thread closer([&cell] { platform::PostCloseRequest(cell.handle.load()); });
  platform::RunMessageLoop();
  closer.join();
}

TEST(MessageLoop, WindowCanBeCreatedAgainOnceTheLoopHasEnded) {
  for (int round = 0; round < 2; ++round) {
    platform::WindowHandleCell cell;
    ASSERT_EQ(platform::CreateNotificationWindow(cell, nullptr), 0);
    platform::PostCloseRequest(cell.handle.load());
    platform::RunMessageLoop();
  }
}

TEST(ModulePath, ExecutablePathIsAbsoluteAndNamesThisProgram) {
  const std::string path = platform::GetExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_NE(path.find("platform_tests"), std::string::npos);
}

TEST(ModulePath, BackslashPathsBecomeSlashPaths) {
  EXPECT_EQ(platform::ToFileSystemPath("a\\b\\c.json"), "a/b/c.json");
  EXPECT_EQ(platform::ToFileSystemPath("/x/y"), "/x/y");
}

} // namespace
