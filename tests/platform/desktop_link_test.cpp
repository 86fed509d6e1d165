// What the POSIX desktop link adds to the platform contract: a sender whose
// claimed handle the kernel does not confirm arrives as null, a message larger
// than the socket's buffers arrives whole, and the newest window with a title
// takes the title's link. The contract itself is in
// platform_contract_test.cpp.
#include "platform/platform.h"
#include "tools/support/window_thread.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Received {
  platform::WindowHandle sender;
  bool hasStructure;
  std::uint64_t kind;
  std::uint32_t size;
  bool hasBytes;
  std::string bytes;
  std::thread::id thread;
};

std::mutex gMutex;
std::vector<Received> gReceived;

std::intptr_t Record(platform::WindowHandle sender, const platform::CopyData *data) {
  Received received{sender, data != nullptr, 0, 0, false, {}, std::this_thread::get_id()};
  if (data != nullptr) {
    received.kind = data->kind;
    received.size = data->size;
    received.hasBytes = data->data != nullptr;
    if (data->data != nullptr) {
      received.bytes.assign(static_cast<const char *>(data->data), data->size);
    }
  }
  const std::lock_guard<std::mutex> lock(gMutex);
  gReceived.push_back(received);
  return 7;
}

class DesktopLink : public ::testing::Test {
protected:
  void SetUp() override {
    const std::lock_guard<std::mutex> lock(gMutex);
    gReceived.clear();
  }
  static std::vector<Received> Taken() {
    const std::lock_guard<std::mutex> lock(gMutex);
    return gReceived;
  }
  static std::string UniqueTitle(const char *name) {
    return std::string(name) + "-" + std::to_string(::getpid());
  }
};

TEST_F(DesktopLink, ClaimedSenderThatTheKernelDoesNotConfirmArrivesAsNull) {
  WindowThread receiver(UniqueTitle("RECEIVER"), Record);
  // A handle naming another process: this process can claim it, but the
  // connection's credentials say who really sent the message.
  const auto foreign = reinterpret_cast<platform::WindowHandle>(
      (static_cast<std::uintptr_t>(::getpid() + 1) << 16) | 1);
  platform::CopyData data;
  data.kind = 0x160001;
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), foreign, &data), 7);
  // A window of the sending thread takes the message at once, with the same check.
  const platform::WindowHandle local = platform::CreateTitledWindow(UniqueTitle("LOCAL"), Record);
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(platform::SendCopyData(local, foreign, &data), 7);
  EXPECT_EQ(platform::SendCopyData(local, receiver.Handle(), &data), 7);
  platform::PostCloseRequest(local);
  platform::RunMessageLoop();

  const auto received = Taken();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].sender, nullptr);
  EXPECT_EQ(received[1].sender, nullptr);
  EXPECT_EQ(received[2].sender, receiver.Handle());
}

// The sender's socket takes a few hundred KiB at a time: the rest of a large
// message must follow where the last write stopped.
TEST_F(DesktopLink, MessageLargerThanTheSocketBuffersArrivesWhole) {
  WindowThread receiver(UniqueTitle("LARGE"), Record);
  std::string bytes(8 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(i % 251); // no two chunks of a write look alike
  }
  platform::CopyData data;
  data.kind = 0x160003;
  data.size = static_cast<std::uint32_t>(bytes.size());
  data.data = bytes.data();
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), nullptr, &data), 7);
  const auto received = Taken();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].size, bytes.size());
  EXPECT_TRUE(received[0].bytes == bytes) << "the bytes differ"; // not 8 MiB in the log
}

TEST_F(DesktopLink, NotificationWindowIsFoundByNoSearch) {
  platform::WindowHandleCell cell;
  ASSERT_EQ(platform::CreateNotificationWindow(cell, Record), 0);
  EXPECT_EQ(platform::FindWindowByTitle("ZorvanePlugin"), nullptr);
  platform::PostCloseRequest(cell.handle.load());
  platform::RunMessageLoop();
}

TEST_F(DesktopLink, LookupByTitleFollowsTheWindow) {
  const std::string title = UniqueTitle("LOOKUP");
  EXPECT_EQ(platform::FindWindowByTitle(title), nullptr);
  {
    WindowThread first(title, Record);
    EXPECT_EQ(platform::FindWindowByTitle(title), first.Handle());
    WindowThread second(title, Record); // the newer window takes the title
    EXPECT_EQ(platform::FindWindowByTitle(title), second.Handle());
    second.Close();
    EXPECT_EQ(platform::FindWindowByTitle(title), nullptr);
  }
  EXPECT_EQ(platform::FindWindowByTitle(title), nullptr);
}

} // namespace
