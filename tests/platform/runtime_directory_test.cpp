// The folder of the POSIX desktop link's endpoints: which one is chosen, that
// no folder is used that another user could have made or may enter, and that
// the plug-in's notification window exists even when no folder is usable.
#include "platform/platform.h"
#include "platform/posix/link_wire.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace posix = platform::posix;

std::intptr_t Accept(platform::WindowHandle, const platform::CopyData *) { return 1; }

class RuntimeFolder : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorvane-folder-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    mRoot = pattern;
    mPlaces.xdgRuntimeDir.clear();
    mPlaces.userRuntimeRoot = mRoot + "/run-user";
    mPlaces.tempRoot = mRoot + "/tmp";
    mPlaces.user = ::geteuid();
    MakeFolder("/run-user", 0755);
    MakeFolder("/tmp", 01777);
  }
  void TearDown() override {
    const std::string command = "rm -rf '" + mRoot + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  // A folder below the test's root, with exactly `mode` whatever the umask.
  std::string MakeFolder(const std::string &relative, mode_t mode) {
    const std::string path = mRoot + relative;
    EXPECT_EQ(::mkdir(path.c_str(), 0700), 0) << path;
    EXPECT_EQ(::chmod(path.c_str(), mode), 0) << path;
    return path;
  }
  std::string UserRuntimeFolder() const {
    return mPlaces.userRuntimeRoot + "/" + std::to_string(mPlaces.user);
  }
  std::string TempFolder() const {
    return mPlaces.tempRoot + "/zorvane-" + std::to_string(mPlaces.user);
  }
  static mode_t ModeOf(const std::string &path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
  }

  std::string mRoot;
  posix::RuntimePlaces mPlaces;
};

TEST_F(RuntimeFolder, SessionsRuntimeFolderComesFirst) {
  mPlaces.xdgRuntimeDir = MakeFolder("/xdg", 0700);
  MakeFolder("/run-user/" + std::to_string(mPlaces.user), 0700);
  EXPECT_EQ(posix::RuntimeDirectoryIn(mPlaces), mPlaces.xdgRuntimeDir + "/zorvane");
  EXPECT_EQ(ModeOf(mPlaces.xdgRuntimeDir + "/zorvane"), 0700u);
}

TEST_F(RuntimeFolder, RelativeSessionsRuntimeFolderIsIgnored) {
  mPlaces.xdgRuntimeDir = "relative/xdg";
  EXPECT_EQ(posix::RuntimeDirectoryIn(mPlaces), TempFolder());
}

TEST_F(RuntimeFolder, PrivateUserRuntimeFolderComesBeforeTheSharedTemporaryFolder) {
  MakeFolder("/run-user/" + std::to_string(mPlaces.user), 0700);
  EXPECT_EQ(posix::RuntimeDirectoryIn(mPlaces), UserRuntimeFolder() + "/zorvane");
  EXPECT_EQ(ModeOf(UserRuntimeFolder() + "/zorvane"), 0700u);
}

TEST_F(RuntimeFolder, UserRuntimeFolderThatOthersMayEnterIsPassedOver) {
  MakeFolder("/run-user/" + std::to_string(mPlaces.user), 0755);
  EXPECT_EQ(posix::RuntimeDirectoryIn(mPlaces), TempFolder());
  EXPECT_EQ(ModeOf(TempFolder()), 0700u);
}

TEST_F(RuntimeFolder, FolderThatOthersMayEnterIsNeverUsed) {
  MakeFolder("/tmp/zorvane-" + std::to_string(mPlaces.user), 0777);
  EXPECT_EQ(posix::RuntimeDirectoryIn(mPlaces), "");
  EXPECT_EQ(ModeOf(TempFolder()), 0777u) << "a folder that is not ours is left alone";
}

TEST_F(RuntimeFolder, SymbolicLinkInPlaceOfTheFolderIsNeverFollowed) {
  const std::string ours = MakeFolder("/ours", 0700);
  ASSERT_EQ(::symlink(ours.c_str(), TempFolder().c_str()), 0);
  EXPECT_EQ(posix::RuntimeDirectoryIn(mPlaces), "");
}

TEST_F(RuntimeFolder, FolderOfAnotherUserIsNeverUsed) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "giving a folder to another user needs root";
  }
  MakeFolder("/tmp/zorvane-" + std::to_string(mPlaces.user), 0700);
  ASSERT_EQ(::chown(TempFolder().c_str(), mPlaces.user + 1, 0), 0);
  EXPECT_EQ(posix::RuntimeDirectoryIn(mPlaces), "");
}

TEST_F(RuntimeFolder, MissingSessionsRuntimeFolderLeavesNoFolder) {
  mPlaces.xdgRuntimeDir = mRoot + "/absent";
  EXPECT_EQ(posix::RuntimeDirectoryIn(mPlaces), "");
}

// Without a usable folder the link is simply not there: the notification
// window exists and closes as always, but nothing can reach it or be found.
TEST_F(RuntimeFolder, NotificationWindowExistsWhenNoFolderIsUsable) {
  const std::string shared = MakeFolder("/xdg", 0700);
  MakeFolder("/xdg/zorvane", 0777);
  ASSERT_EQ(::setenv("XDG_RUNTIME_DIR", shared.c_str(), 1), 0);

  platform::WindowHandleCell cell;
  ASSERT_EQ(platform::CreateNotificationWindow(cell, Accept), 0);
  ASSERT_NE(cell.handle.load(), nullptr);
  platform::CopyData data;
  // From another thread, as from another process: through the link, which is not there.
  const platform::WindowHandle window = cell.handle.load();
  EXPECT_EQ(std::async(std::launch::async,
                       [window, &data] { return platform::SendCopyData(window, nullptr, &data); })
                .get(),
            0);
  EXPECT_EQ(platform::FindDesktopWindow(), nullptr);
  EXPECT_EQ(platform::CreateTitledWindow("ZORVANEDESKTOP", Accept), nullptr);
  DIR *folder = ::opendir((shared + "/zorvane").c_str());
  ASSERT_NE(folder, nullptr);
  int entries = 0;
  while (::readdir(folder) != nullptr) {
    ++entries;
  }
  ::closedir(folder);
  EXPECT_EQ(entries, 2) << "nothing is made in a folder that others may enter";

  platform::PostCloseRequest(cell.handle.load());
  platform::RunMessageLoop();
}

} // namespace
