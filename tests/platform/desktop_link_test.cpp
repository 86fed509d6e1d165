// Messages between windows over the POSIX desktop link: exact kind, size and
// bytes, the receiver's result back to the sender, a sender whose claimed
// handle the kernel does not confirm arrives as null, and lookups by title
// follow windows as they come and go.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <future>
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

// A titled window served by a thread of its own, closed at the end of the test.
class TitledWindow {
public:
  explicit TitledWindow(const std::string &title) {
    std::promise<platform::WindowHandle> created;
    auto handle = created.get_future();
    mThread = std::thread([&created, title] {
      const platform::WindowHandle window = platform::CreateTitledWindow(title, Record);
      created.set_value(window);
      if (window != nullptr) {
        platform::RunMessageLoop();
      }
    });
    mHandle = handle.get();
    mThreadId = mThread.get_id();
  }
  ~TitledWindow() { Close(); }
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

TEST_F(DesktopLink, MessageArrivesExactlyOnTheWindowsThreadAndItsResultReturns) {
  TitledWindow receiver(UniqueTitle("RECEIVER"));
  TitledWindow sender(UniqueTitle("SENDER"));
  ASSERT_NE(receiver.Handle(), nullptr);
  const std::string text("{\"value1\":3}\n\0", 14);
  platform::CopyData data;
  data.kind = 0x80003;
  data.size = static_cast<std::uint32_t>(text.size());
  data.data = text.data();
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), sender.Handle(), &data), 7);

  const auto received = Taken();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].sender, sender.Handle());
  EXPECT_EQ(received[0].kind, 0x80003u);
  EXPECT_EQ(received[0].size, 14u);
  EXPECT_EQ(received[0].bytes, text);
  EXPECT_EQ(received[0].thread, receiver.ThreadId());
}

TEST_F(DesktopLink, EmptyNullAndMissingDataKeepTheirDifference) {
  TitledWindow receiver(UniqueTitle("RECEIVER"));
  platform::CopyData empty;
  empty.kind = 0x160000;
  empty.data = "";
  platform::CopyData nullData;
  nullData.kind = 0x160000;
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), nullptr, &empty), 7);
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), nullptr, &nullData), 7);
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), nullptr, nullptr), 7);
  const auto received = Taken();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_TRUE(received[0].hasStructure);
  EXPECT_TRUE(received[0].hasBytes);
  EXPECT_EQ(received[0].size, 0u);
  EXPECT_TRUE(received[1].hasStructure);
  EXPECT_FALSE(received[1].hasBytes);
  EXPECT_FALSE(received[2].hasStructure);
  EXPECT_EQ(received[0].sender, nullptr);
}

TEST_F(DesktopLink, ClaimedSenderThatTheKernelDoesNotConfirmArrivesAsNull) {
  TitledWindow receiver(UniqueTitle("RECEIVER"));
  // A handle naming another process: this process can claim it, but the
  // connection's credentials say who really sent the message.
  const auto foreign = reinterpret_cast<platform::WindowHandle>(
      (static_cast<std::uintptr_t>(::getpid() + 1) << 16) | 1);
  platform::CopyData data;
  data.kind = 0x160001;
  EXPECT_EQ(platform::SendCopyData(receiver.Handle(), foreign, &data), 7);
  ASSERT_EQ(Taken().size(), 1u);
  EXPECT_EQ(Taken()[0].sender, nullptr);
}

TEST_F(DesktopLink, LookupByTitleFollowsTheWindow) {
  const std::string title = UniqueTitle("LOOKUP");
  EXPECT_EQ(platform::FindWindowByTitle(title), nullptr);
  {
    TitledWindow first(title);
    EXPECT_EQ(platform::FindWindowByTitle(title), first.Handle());
    TitledWindow second(title); // the newer window takes the title
    EXPECT_EQ(platform::FindWindowByTitle(title), second.Handle());
    second.Close();
    EXPECT_EQ(platform::FindWindowByTitle(title), nullptr);
  }
  EXPECT_EQ(platform::FindWindowByTitle(title), nullptr);
}

TEST_F(DesktopLink, SendingToAWindowThatIsGoneReturnsZeroAtOnce) {
  platform::WindowHandle gone = nullptr;
  {
    TitledWindow window(UniqueTitle("GONE"));
    gone = window.Handle();
  }
  platform::CopyData data;
  EXPECT_EQ(platform::SendCopyData(gone, nullptr, &data), 0);
  EXPECT_EQ(platform::SendCopyData(nullptr, nullptr, &data), 0);
  EXPECT_TRUE(Taken().empty());
}

TEST_F(DesktopLink, TitlesThatAreNotPlainNamesAreRefused) {
  EXPECT_EQ(platform::CreateTitledWindow("", Record), nullptr);
  EXPECT_EQ(platform::CreateTitledWindow("a/b", Record), nullptr);
  EXPECT_EQ(platform::CreateTitledWindow("..", Record), nullptr);
}

} // namespace
