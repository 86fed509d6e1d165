// The sender delivers in order from one on-demand thread, drops commands
// while the desktop application is absent, and never makes callers wait.
#include "desktop/command_sender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

struct Delivery {
  platform::WindowHandle desktop;
  platform::WindowHandle replyTo;
  std::uint64_t kind;
  std::uint32_t size;
  bool hasData;
  std::string bytes;
  std::thread::id thread;
};

// Records every delivery; can hold deliveries until released, and can play
// an absent desktop application.
class RecordingLink : public cDesktopLink {
public:
  platform::WindowHandle desktop = reinterpret_cast<platform::WindowHandle>(0x1234);
  std::uint64_t failingKind = 0; // deliveries of this kind throw

  platform::WindowHandle FindDesktopWindow() override {
    const std::lock_guard<std::mutex> lock(mMutex);
    ++lookups;
    return desktop;
  }

  void Deliver(platform::WindowHandle target, platform::WindowHandle replyTo,
               const platform::CopyData &data) override {
    if (data.kind == failingKind) {
      throw std::bad_alloc();
    }
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [this] { return !held; });
    const char *bytes = static_cast<const char *>(data.data);
    deliveries.push_back({target, replyTo, data.kind, data.size, data.data != nullptr,
                          bytes ? std::string(bytes, data.size) : std::string(),
                          std::this_thread::get_id()});
    mChanged.notify_all();
  }

  void Hold() {
    const std::lock_guard<std::mutex> lock(mMutex);
    held = true;
  }
  void Release() {
    const std::lock_guard<std::mutex> lock(mMutex);
    held = false;
    mChanged.notify_all();
  }
  std::vector<Delivery> WaitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [&] { return deliveries.size() >= count; });
    return deliveries;
  }
  int Lookups() {
    const std::lock_guard<std::mutex> lock(mMutex);
    return lookups;
  }

private:
  std::mutex mMutex;
  std::condition_variable mChanged;
  bool held = false;
  int lookups = 0;
  std::vector<Delivery> deliveries;
};

// Thread starts, counted from 1; the ones listed in gFailingStarts throw as
// std::thread does when the system has no room for another thread.
std::atomic<int> gStarts{0};
std::set<int> gFailingStarts;

std::thread StartUnlessListed(std::function<void()> body) {
  if (gFailingStarts.count(++gStarts) != 0) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
  return std::thread(std::move(body));
}

void WaitUntilIdle(const cZorvaneCommandSender &sender) {
  while (sender.IsDraining()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class CommandSender : public ::testing::Test {
protected:
  platform::WindowHandleCell cell;
  RecordingLink link;
  int notificationWindow = 0;
  void SetUp() override { cell.handle.store(&notificationWindow); }
};

TEST_F(CommandSender, DeliversKindBytesAndReplyAddress) {
  cZorvaneCommandSender sender(cell, link);
  sender.EnqueueCommand(std::make_unique<cCommandEmote>("wave"));
  sender.EnqueueCommand(std::make_unique<cCommandBroadcast>());
  const auto delivered = link.WaitFor(2);
  EXPECT_EQ(delivered[0].desktop, link.desktop);
  EXPECT_EQ(delivered[0].replyTo, &notificationWindow);
  EXPECT_EQ(delivered[0].kind, CommandKind::Emote);
  EXPECT_EQ(delivered[0].size, 19u); // the text, its line feed and the terminating NUL
  EXPECT_EQ(delivered[0].bytes, std::string("{\"value1\":\"wave\"}\n\0", 19));
  EXPECT_EQ(delivered[1].kind, CommandKind::Broadcast);
  EXPECT_EQ(delivered[1].size, 0u);
  EXPECT_FALSE(delivered[1].hasData);
}

TEST_F(CommandSender, BurstGoesOutInOrderFromOneThreadWithoutBlockingCallers) {
  cZorvaneCommandSender sender(cell, link);
  link.Hold(); // the desktop application does not answer
  constexpr int kBurst = 50;
  for (int i = 0; i < kBurst; ++i) {
    sender.EnqueueCommand(std::make_unique<cCommandPose>(i)); // returns although nothing is handled
  }
  EXPECT_TRUE(sender.IsDraining());
  link.Release();
  const auto delivered = link.WaitFor(kBurst);
  for (int i = 0; i < kBurst; ++i) {
    EXPECT_EQ(delivered[i].bytes, cCommandPose(i).Serialize() + '\0');
    EXPECT_EQ(delivered[i].thread, delivered[0].thread);
  }
  EXPECT_NE(delivered[0].thread, std::this_thread::get_id());
}

TEST_F(CommandSender, ThreadEndsWhenIdleAndTheNextCommandStartsAnother) {
  cZorvaneCommandSender sender(cell, link);
  EXPECT_FALSE(sender.IsDraining());
  sender.EnqueueCommand(std::make_unique<cCommandCalibrate>());
  link.WaitFor(1);
  WaitUntilIdle(sender);
  sender.EnqueueCommand(std::make_unique<cCommandCalibrate>());
  EXPECT_EQ(link.WaitFor(2).size(), 2u);
  WaitUntilIdle(sender);
}

TEST_F(CommandSender, CommandsRacingTheEndOfTheQueueAreAllDelivered) {
  cZorvaneCommandSender sender(cell, link);
  constexpr int kPerProducer = 300;
  auto produce = [&sender](int base) {
    for (int i = 0; i < kPerProducer; ++i) {
      sender.EnqueueCommand(std::make_unique<cCommandIdle>(base + i));
      if (i % 7 == 0) {
        std::this_thread::yield();
      }
    }
  };
  std::thread first(produce, 0);
  std::thread second(produce, 100000);
  first.join();
  second.join();
  const auto delivered = link.WaitFor(2 * kPerProducer);
  int nextFirst = 0;
  int nextSecond = 100000;
  for (const Delivery &delivery : delivered) {
    const int value = std::stoi(delivery.bytes.substr(delivery.bytes.find(':') + 1));
    EXPECT_EQ(value, value < 100000 ? nextFirst++ : nextSecond++);
  }
  EXPECT_EQ(nextFirst, kPerProducer);
  EXPECT_EQ(nextSecond, 100000 + kPerProducer);
}

TEST_F(CommandSender, AbsentDesktopApplicationDropsCommandsAndTheQueueEmpties) {
  link.desktop = nullptr;
  cZorvaneCommandSender sender(cell, link);
  for (int i = 0; i < 20; ++i) {
    sender.EnqueueCommand(std::make_unique<cCommandEmote>("x"));
  }
  WaitUntilIdle(sender); // idle means the queue was found empty
  EXPECT_EQ(link.Lookups(), 20);
  EXPECT_TRUE(link.WaitFor(0).empty());
}

TEST_F(CommandSender, ClearedReplyAddressTravelsAsNull) {
  cZorvaneCommandSender sender(cell, link);
  cell.handle.store(nullptr);
  sender.EnqueueCommand(std::make_unique<cCommandBroadcast>());
  EXPECT_EQ(link.WaitFor(1)[0].replyTo, nullptr);
}

TEST_F(CommandSender, CommandsWaitWhenNoThreadCanStartAndGoOutWithTheNextEnqueue) {
  gStarts = 0;
  gFailingStarts = {1, 3}; // the very first start, and a start after a finished thread
  cZorvaneCommandSender sender(cell, link, StartUnlessListed);
  sender.EnqueueCommand(std::make_unique<cCommandEmote>("a"));
  EXPECT_FALSE(sender.IsDraining());
  sender.EnqueueCommand(std::make_unique<cCommandEmote>("b"));
  link.WaitFor(2);
  WaitUntilIdle(sender);
  sender.EnqueueCommand(std::make_unique<cCommandEmote>("c"));
  EXPECT_FALSE(sender.IsDraining());
  sender.EnqueueCommand(std::make_unique<cCommandEmote>("d"));
  const auto delivered = link.WaitFor(4);
  ASSERT_EQ(delivered.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(delivered[i].bytes, cCommandEmote(std::string(1, "abcd"[i])).Serialize() + '\0');
  }
  EXPECT_EQ(gStarts, 4);
}

TEST_F(CommandSender, ACommandThatFailsToGoOutIsDroppedAndTheRestFollow) {
  link.failingKind = CommandKind::Broadcast;
  cZorvaneCommandSender sender(cell, link);
  sender.EnqueueCommand(std::make_unique<cCommandEmote>("before"));
  sender.EnqueueCommand(std::make_unique<cCommandBroadcast>());
  sender.EnqueueCommand(std::make_unique<cCommandCalibrate>());
  const auto delivered = link.WaitFor(2);
  WaitUntilIdle(sender);
  ASSERT_EQ(link.WaitFor(0).size(), 2u);
  EXPECT_EQ(delivered[0].kind, CommandKind::Emote);
  EXPECT_EQ(delivered[1].kind, CommandKind::Calibrate);
}

} // namespace
