#include "driver.h"
#include "measures.h"
#include "messages.h"
#include "soak_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using host_driver::FrameKind;
using host_driver::MemoryRules;
using host_driver::RssSample;

// One sample a second for `seconds`, the resident size given by `rss`.
template <typename Rss> std::vector<RssSample> Series(int seconds, Rss rss) {
  std::vector<RssSample> samples;
  for (int second = 1; second <= seconds; ++second) {
    samples.push_back(RssSample{static_cast<double>(second), rss(second)});
  }
  return samples;
}

MemoryRules Rules() {
  MemoryRules rules;
  rules.warmUpSeconds = 60;
  rules.windowSeconds = 30;
  rules.tolerancePercent = 10;
  rules.slackKiB = 1024;
  return rules;
}

TEST(MedianKiB, TakesTheMiddleOrTheMeanOfTheTwoMiddleOnes) {
  EXPECT_EQ(host_driver::MedianKiB({}), 0u);
  EXPECT_EQ(host_driver::MedianKiB({7}), 7u);
  EXPECT_EQ(host_driver::MedianKiB({9, 1, 5}), 5u);
  EXPECT_EQ(host_driver::MedianKiB({10, 1, 4, 100}), 7u);
}

TEST(MemoryVerdict, GrowthDuringTheWarmUpDoesNotCount) {
  // Doubles in the first minute, then stays.
  const auto samples =
      Series(180, [](int s) -> std::uint64_t { return s < 60 ? 50000 + 1000u * s : 110000; });
  const host_driver::MemoryVerdict verdict = host_driver::JudgeMemory(samples, Rules());
  EXPECT_TRUE(verdict.judged);
  EXPECT_TRUE(verdict.flat) << verdict.explanation;
  EXPECT_EQ(verdict.baselineKiB, 110000u);
  EXPECT_EQ(verdict.endKiB, 110000u);
}

TEST(MemoryVerdict, SpikesInEitherWindowDoNotMoveTheMedians) {
  // Every third second a burst in flight doubles the size for that sample.
  const auto samples =
      Series(180, [](int s) -> std::uint64_t { return s % 3 == 0 ? 200000 : 100000; });
  const host_driver::MemoryVerdict verdict = host_driver::JudgeMemory(samples, Rules());
  EXPECT_TRUE(verdict.flat) << verdict.explanation;
  EXPECT_EQ(verdict.endKiB, 100000u);
}

TEST(MemoryVerdict, SteadyGrowthAfterTheWarmUpFails) {
  // The windows' medians lie 91 s apart: 100 KiB a second stays within 10 % of
  // the baseline, 200 KiB a second does not.
  const auto slow = Series(180, [](int s) -> std::uint64_t { return 102400 + 100u * s; });
  EXPECT_TRUE(host_driver::JudgeMemory(slow, Rules()).flat);
  const auto leaking = Series(180, [](int s) -> std::uint64_t { return 102400 + 200u * s; });
  const host_driver::MemoryVerdict verdict = host_driver::JudgeMemory(leaking, Rules());
  EXPECT_TRUE(verdict.judged);
  EXPECT_FALSE(verdict.flat) << verdict.explanation;
  EXPECT_GT(verdict.endKiB, verdict.baselineKiB + verdict.allowedKiB);
}

TEST(MemoryVerdict, AllowsTheLargerOfTheShareAndTheSlack) {
  MemoryRules rules = Rules();
  const auto small = Series(180, [](int) -> std::uint64_t { return 4000; });
  EXPECT_EQ(host_driver::JudgeMemory(small, rules).allowedKiB, 1024u); // 10 % would be 400
  const auto large = Series(180, [](int) -> std::uint64_t { return 400000; });
  EXPECT_EQ(host_driver::JudgeMemory(large, rules).allowedKiB, 40000u);
  // Exactly the allowance still counts as flat; one KiB more does not.
  auto step = [](std::uint64_t after) {
    return Series(180, [after](int s) -> std::uint64_t { return s <= 120 ? 4000 : after; });
  };
  EXPECT_TRUE(host_driver::JudgeMemory(step(5024), rules).flat);
  EXPECT_FALSE(host_driver::JudgeMemory(step(5025), rules).flat);
}

TEST(MemoryVerdict, ASanitizersCreepIsAllowedPerMinuteBetweenTheWindows) {
  MemoryRules rules = Rules();
  rules.growthKiBPerMinute = 2048;
  // About 1 MiB a minute of creep. The windows start 90.5 s apart in a run of
  // 180 s and 390.5 s apart in one of 480 s; the slack (1 MiB) exceeds 10 %.
  const auto creep = [](int s) -> std::uint64_t { return 4000 + 17u * s; };
  const host_driver::MemoryVerdict shortRun = host_driver::JudgeMemory(Series(180, creep), rules);
  EXPECT_EQ(shortRun.allowedKiB, 1024u + 3089u);
  EXPECT_TRUE(shortRun.flat) << shortRun.explanation;
  const host_driver::MemoryVerdict longRun = host_driver::JudgeMemory(Series(480, creep), rules);
  EXPECT_EQ(longRun.allowedKiB, 1024u + 13329u);
  EXPECT_TRUE(longRun.flat) << longRun.explanation;
  // Growth faster than the allowance per minute still fails, however long the run.
  const auto leak = [](int s) -> std::uint64_t { return 4000 + 60u * s; };
  EXPECT_FALSE(host_driver::JudgeMemory(Series(180, leak), rules).flat);
  EXPECT_FALSE(host_driver::JudgeMemory(Series(480, leak), rules).flat);
}

TEST(MemoryVerdict, ARunTooShortForTwoSeparateWindowsIsNotJudgedAndFails) {
  const auto samples = Series(119, [](int) -> std::uint64_t { return 4000; });
  const host_driver::MemoryVerdict verdict = host_driver::JudgeMemory(samples, Rules());
  EXPECT_FALSE(verdict.judged);
  EXPECT_FALSE(verdict.flat);
  EXPECT_NE(verdict.explanation.find("120 s"), std::string::npos) << verdict.explanation;
  EXPECT_TRUE(
      host_driver::JudgeMemory(Series(120, [](int) -> std::uint64_t { return 4000; }), Rules())
          .judged);
  EXPECT_FALSE(host_driver::JudgeMemory({}, Rules()).judged);
}

// The key of `action` in a fresh set, stored with settings choice `choice`.
host_driver::SoakKey StoredKey(const std::string &action, std::size_t choice) {
  for (host_driver::SoakKey key : host_driver::MakeSoakKeys("/keys/k.png")) {
    if (key.action == "com.brimcove.zorvaneplugin." + action) {
      key.stored = true;
      key.settings = choice;
      return key;
    }
  }
  ADD_FAILURE() << "no key of " << action;
  return host_driver::SoakKey();
}

std::string Text(const std::string &text) { return text + std::string(1, '\0'); }

TEST(CommandForPress, FollowsTheStoredValueAsTheDesktopApplicationReceivesIt) {
  // Integer keys: the stored number, 0 without one or when not stored.
  host_driver::SoakKey pose = StoredKey("pose", 0);
  ASSERT_EQ(pose.settingsChoices[0]["value"].asInt(), 1);
  EXPECT_EQ(host_driver::CommandForPress(pose)->bytes, Text("{\"value1\":1}\n"));
  pose.settings = 2; // no "value"
  EXPECT_EQ(host_driver::CommandForPress(pose)->bytes, Text("{\"value1\":0}\n"));
  pose.settings = 0;
  pose.stored = false;
  EXPECT_EQ(host_driver::CommandForPress(pose)->bytes, Text("{\"value1\":0}\n"));
  EXPECT_EQ(host_driver::CommandForPress(pose)->kind, 0x80003u);
  // Text keys: nothing for an empty text or a key not stored; a number as its digits.
  host_driver::SoakKey emote = StoredKey("emote", 2);
  EXPECT_FALSE(host_driver::CommandForPress(emote).has_value());
  emote.settings = 3;
  EXPECT_EQ(host_driver::CommandForPress(emote)->bytes, Text("{\"value1\":\"7\"}\n"));
  emote.stored = false;
  EXPECT_FALSE(host_driver::CommandForPress(emote).has_value());
  // Keys without a value: no data at all.
  const host_driver::SoakKey broadcast = StoredKey("broadcast", 1);
  EXPECT_EQ(host_driver::CommandForPress(broadcast)->kind, 0x80000u);
  EXPECT_TRUE(host_driver::CommandForPress(broadcast)->bytes.empty());
}

TEST(SoakScript, KeysComeAndGoInTurnAndKeyImagesAreCountedForStoredKeysOnly) {
  host_driver::SoakScript script(host_driver::MakeSoakKeys("/keys/k.png"), 7);
  const host_driver::SoakStep first = script.AppearAll();
  EXPECT_EQ(first.frames.size(), script.Keys().size());
  EXPECT_TRUE(script.AppearAll().frames.empty()); // all stored already
  std::size_t appear = 0, disappear = 0, images = 0;
  for (int i = 0; i < 5000; ++i) {
    const host_driver::SoakStep step = script.Next();
    appear += step.kind == "willAppear" ? 1 : 0;
    disappear += step.kind == "willDisappear" ? 1 : 0;
    images += step.keyImages;
    if (step.kind == "didReceiveSettings" || step.kind == "willAppear") {
      EXPECT_LE(step.keyImages, 1u);
    } else {
      EXPECT_EQ(step.keyImages, 0u) << step.kind;
    }
  }
  // Each key starts stored, so per key the disappearances lead by at most one.
  EXPECT_LE(disappear - appear, script.Keys().size());
  EXPECT_GT(appear, 100u);
  EXPECT_GT(images, 100u);
}

class Frames : public ::testing::Test {
protected:
  const std::vector<host_driver::SoakKey> keys = host_driver::MakeSoakKeys("/keys/k.png");
  host_driver::SoakFrames frames{host_driver::SoakFrameTexts(keys, "png-bytes", "FINAL")};

  void Receive(const std::string &text) { frames.OnText(text, host_driver::Clock::now()); }
  const host_driver::SoakKey &Key(const std::string &context) {
    for (const host_driver::SoakKey &key : keys) {
      if (key.context == context) {
        return key;
      }
    }
    throw std::runtime_error("no key " + context);
  }
};

TEST_F(Frames, CountsEveryKnownFrameByItsKind) {
  Receive(host_driver::SetImageText("SOAKAVATAR", "png-bytes"));
  Receive(host_driver::SetImageText("SOAKQUICK0", "png-bytes"));
  Receive(host_driver::SetStateText("SOAKPOSE1", 1));
  Receive(host_driver::SetStateText("SOAKBROADCAST0", 0));
  Receive(host_driver::InspectorText(Key("SOAKPOSE2").action, "SOAKPOSE2",
                                     host_driver::SoakLists()[8].document));
  Receive(host_driver::SetImageText("FINAL", "png-bytes"));
  EXPECT_NO_THROW(frames.ThrowIfFault());
  EXPECT_EQ(frames.Count(FrameKind::KeyImage), 1u);
  EXPECT_EQ(frames.Count(FrameKind::QuickslotImage), 1u);
  EXPECT_EQ(frames.Count(FrameKind::State), 2u);
  EXPECT_EQ(frames.Count(FrameKind::Inspector), 1u);
  EXPECT_EQ(frames.Count(FrameKind::Final), 1u);
  EXPECT_EQ(frames.Frames(), 6u);
  EXPECT_TRUE(frames.WaitForCount(FrameKind::State, 2, std::chrono::milliseconds(1)));
  EXPECT_FALSE(frames.WaitForCount(FrameKind::State, 3, std::chrono::milliseconds(1)));
}

TEST_F(Frames, AFrameNoEventCanCauseIsAFault) {
  // A changed image, a state for a key that has none, another action's list.
  for (const std::string &text :
       {host_driver::SetImageText("SOAKAVATAR", "png-byteZ"),
        host_driver::SetStateText("SOAKEMOTE", 1), host_driver::SetStateText("SOAKPOSE0", 2),
        host_driver::InspectorText(Key("SOAKEMOTE").action, "SOAKEMOTE",
                                   host_driver::SoakLists()[0].document)}) {
    host_driver::SoakFrames fresh(host_driver::SoakFrameTexts(keys, "png-bytes", "FINAL"));
    fresh.OnText(text, host_driver::Clock::now());
    EXPECT_THROW(fresh.ThrowIfFault(), host_driver::DriverFailure) << text;
    EXPECT_EQ(fresh.Frames(), 0u);
  }
}

TEST_F(Frames, TheConnectionMayEndOnlyWhenTheDriverCloses) {
  frames.ExpectClose();
  frames.OnConnectionEnded();
  EXPECT_NO_THROW(frames.ThrowIfFault());
  host_driver::SoakFrames early(host_driver::SoakFrameTexts(keys, "png-bytes", "FINAL"));
  early.OnConnectionEnded();
  EXPECT_THROW(early.ThrowIfFault(), host_driver::DriverFailure);
  EXPECT_FALSE(early.WaitForCount(FrameKind::Final, 0, std::chrono::milliseconds(1)));
}

host_driver::ReceivedCommand Arrived(std::uint64_t kind, const std::string &bytes) {
  host_driver::ReceivedCommand command;
  command.kind = kind;
  command.size = static_cast<std::uint32_t>(bytes.size());
  command.hasData = !bytes.empty();
  command.bytes = bytes;
  return command;
}

TEST(PressLedger, TakesCommandsInOrderWithListRequestsBetween) {
  host_driver::PressLedger ledger;
  ledger.Expect({0x80003, Text("{\"value1\":2}\n")});
  ledger.Expect({0x80000, ""});
  EXPECT_EQ(ledger.Receive(Arrived(0x80009, "")), "");
  EXPECT_EQ(ledger.Receive(Arrived(0x80003, Text("{\"value1\":2}\n"))), "");
  EXPECT_EQ(ledger.Receive(Arrived(0x8000F, "")), "");
  EXPECT_EQ(ledger.Outstanding(), 1u);
  EXPECT_EQ(ledger.Receive(Arrived(0x80000, "")), "");
  EXPECT_EQ(ledger.Delivered(), 2u);
  EXPECT_EQ(ledger.ListRequests(), 2u);
  EXPECT_EQ(ledger.Outstanding(), 0u);
}

TEST(PressLedger, ALostRepeatedOrChangedCommandIsAFault) {
  host_driver::PressLedger lost;
  lost.Expect({0x80001, ""});
  lost.Expect({0x80000, ""});
  EXPECT_NE(lost.Receive(Arrived(0x80000, "")).find("key release 1"), std::string::npos);

  host_driver::PressLedger repeated;
  repeated.Expect({0x80000, ""});
  EXPECT_EQ(repeated.Receive(Arrived(0x80000, "")), "");
  EXPECT_NE(repeated.Receive(Arrived(0x80000, "")).find("no key release asked for"),
            std::string::npos);

  host_driver::PressLedger changed;
  changed.Expect({0x80008, Text("{\"value1\":\"wave\"}\n")});
  EXPECT_NE(changed.Receive(Arrived(0x80008, "{\"value1\":\"wave\"}\n")), ""); // NUL missing
  // A list request that carries data is no list request.
  host_driver::PressLedger listWithData;
  EXPECT_NE(listWithData.Receive(Arrived(0x80009, Text("{}"))), "");
}

TEST(PressLedger, ACountThatDisagreesWithTheBytesIsAFault) {
  host_driver::PressLedger ledger;
  ledger.Expect({0x80000, ""});
  host_driver::ReceivedCommand command = Arrived(0x80000, "");
  command.size = 4;
  EXPECT_NE(ledger.Receive(command).find("counting 4 bytes"), std::string::npos);
}

} // namespace
