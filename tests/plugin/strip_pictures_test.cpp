// The strips' picture cache with a maker that makes a picture of a given size
// from any name: what is made, when, how much is kept, and for which lists.
#include "plugin/strip_pictures.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Makes "<name>" into a picture of kPictureBytes bytes; "refused..." into
// nothing. Records the names it was given, in order.
struct Maker {
  static constexpr std::size_t kPictureBytes = 100 * 1024;
  std::vector<std::string> made;
  std::function<void(const std::string &)> whileMaking;

  cStripPictures::cMaker Function() {
    return [this](const std::string &file) {
      made.push_back(file);
      if (whileMaking) {
        whileMaking(file);
      }
      return file.rfind("refused", 0) == 0 ? std::string() : std::string(kPictureBytes, 'p');
    };
  }
};

// "<prefix>0" to "<prefix><count - 1>", kept for the whole test program.
std::vector<std::string_view> Names(const std::string &prefix, int count) {
  static std::deque<std::string> kept;
  std::vector<std::string_view> names;
  for (int i = 0; i < count; ++i) {
    names.push_back(kept.emplace_back(prefix + std::to_string(i)));
  }
  return names;
}

// A found picture as text; "(not made)" for none.
std::string Shown(const cStripPictures::cPicture &picture) {
  return picture != nullptr ? *picture : "(not made)";
}

class StripPictures : public ::testing::Test {
protected:
  Maker maker;
  cStripPictures pictures{maker.Function(), cStripPictures::Worker::Caller};
  std::vector<std::pair<std::uint64_t, std::string>> told;

  StripPictures() {
    pictures.SetMadeHandler(
        [this](std::uint64_t list, const std::string &file) { told.emplace_back(list, file); });
    pictures.Open(1);
  }
};

// 100 KiB pictures: about 40 fit in the 4 MiB that the cache may keep.
TEST_F(StripPictures, PreparationStopsWhereThereIsNoRoomAndTurnsPushOutTheLeastRecent) {
  pictures.Prepare(1, Names("f", 100), false);
  pictures.MakeWaiting();
  // The first that finds no room is made, not kept, and ends the preparation.
  const std::size_t fitted = maker.made.size() - 1;
  ASSERT_GT(fitted, 20u);
  EXPECT_LE(pictures.KeptBytes(), kMaxStripPictureBytes);
  EXPECT_GT(pictures.KeptBytes() + pictures.KeptBytes() / fitted, kMaxStripPictureBytes);
  pictures.Prepare(1, Names("f", 100), false);
  pictures.MakeWaiting();
  EXPECT_EQ(maker.made.size(), fitted + 1) << "a full list prepares no more";

  // What a strip shows, or a turn asks for, pushes out the least recently
  // used: made nearest first, the farthest goes first.
  const std::string last = "f" + std::to_string(fitted - 1);
  const std::string beforeLast = "f" + std::to_string(fitted - 2);
  EXPECT_EQ(pictures.Find(1, "f" + std::to_string(fitted)), nullptr);
  ASSERT_NE(pictures.Find(1, beforeLast), nullptr);
  pictures.MakeWaiting();
  pictures.Prepare(1, {"near"}, true);
  pictures.MakeWaiting();
  for (const std::string &kept : {std::string("near"), std::string("f0"), beforeLast}) {
    EXPECT_NE(pictures.Find(1, kept), nullptr) << kept;
  }
  EXPECT_EQ(pictures.Find(1, last), nullptr);
  EXPECT_EQ(pictures.Find(1, "f" + std::to_string(fitted - 3)), nullptr);
  EXPECT_LE(pictures.KeptBytes(), kMaxStripPictureBytes);
}

TEST_F(StripPictures, WhatAStripWaitsForIsMadeFirstAndToldOnceIfItShowsSomething) {
  pictures.Prepare(1, {"a", "b"}, false);
  EXPECT_EQ(pictures.Find(1, "c"), nullptr);
  EXPECT_EQ(pictures.Find(1, "refused"), nullptr);
  pictures.MakeWaiting();
  EXPECT_EQ(maker.made, (std::vector<std::string>{"refused", "c", "a", "b"}));
  EXPECT_EQ(told, (std::vector<std::pair<std::uint64_t, std::string>>{{1, "c"}}))
      << "a refused file shows the own picture, as the strip does already";
  EXPECT_EQ(Shown(pictures.Find(1, "refused")), "");
  EXPECT_EQ(Shown(pictures.Find(1, "a")).rfind("data:image/png;base64,", 0), 0u);
  pictures.Prepare(1, {"a", "b", "c"}, true);
  pictures.MakeWaiting();
  EXPECT_EQ(maker.made.size(), 4u) << "each picture of a list is made once";
}

TEST_F(StripPictures, AClosedListsPicturesAreDroppedAndNoneMadeForIt) {
  pictures.Prepare(1, {"a"}, false);
  pictures.MakeWaiting();
  pictures.Open(2);
  pictures.Prepare(2, {"a", "b"}, false);
  EXPECT_EQ(pictures.Find(2, "c"), nullptr);
  pictures.Close(2);
  EXPECT_EQ(pictures.Find(2, "a"), nullptr);
  pictures.MakeWaiting();
  EXPECT_EQ(maker.made, std::vector<std::string>{"a"});
  EXPECT_NE(pictures.Find(1, "a"), nullptr) << "another list keeps its pictures";

  // The list closes while its picture is being made: it is not kept.
  maker.whileMaking = [this](const std::string &) { pictures.Close(1); };
  EXPECT_EQ(pictures.Find(1, "b"), nullptr);
  pictures.MakeWaiting();
  EXPECT_TRUE(told.empty());
  EXPECT_EQ(pictures.KeptBytes(), 0u);
  pictures.Open(3);
  pictures.CloseAll();
  EXPECT_EQ(pictures.Find(3, "a"), nullptr);
  pictures.MakeWaiting();
  EXPECT_EQ(maker.made.size(), 2u);
}

TEST_F(StripPictures, AfterStopNothingIsMadeAndWhatIsKeptIsStillFound) {
  pictures.Prepare(1, {"a"}, false);
  pictures.MakeWaiting();
  pictures.Prepare(1, {"b"}, false);
  EXPECT_EQ(pictures.Find(1, "c"), nullptr);
  pictures.Stop();
  pictures.Prepare(1, {"d"}, true);
  pictures.MakeWaiting();
  EXPECT_EQ(maker.made, std::vector<std::string>{"a"});
  EXPECT_NE(pictures.Find(1, "a"), nullptr);
}

// The pictures' own thread makes what a strip waits for and tells it there.
TEST(StripPicturesThread, MakesOnItsOwnThreadAndTellsFromThere) {
  std::mutex mutex;
  std::condition_variable told;
  std::thread::id madeOn;
  cStripPictures pictures([](const std::string &) { return std::string("png"); },
                          cStripPictures::Worker::OwnThread);
  pictures.SetMadeHandler([&](std::uint64_t, const std::string &) {
    const std::lock_guard<std::mutex> lock(mutex);
    madeOn = std::this_thread::get_id();
    told.notify_all();
  });
  pictures.Open(1);
  EXPECT_EQ(pictures.Find(1, "a"), nullptr);
  {
    std::unique_lock<std::mutex> lock(mutex);
    told.wait(lock, [&] { return madeOn != std::thread::id(); });
  }
  EXPECT_NE(madeOn, std::this_thread::get_id());
  EXPECT_EQ(Shown(pictures.Find(1, "a")), "data:image/png;base64,cG5n");
  pictures.Stop();
}

} // namespace
