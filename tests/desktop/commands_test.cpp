#include "desktop/commands.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

TEST(Commands, KindCodesAreConsecutiveInTableOrder) {
  const std::vector<std::unique_ptr<cCommand>> commands = [] {
    std::vector<std::unique_ptr<cCommand>> all;
    all.push_back(std::make_unique<cCommandBroadcast>());
    all.push_back(std::make_unique<cCommandCalibrate>());
    all.push_back(std::make_unique<cCommandSpecialAction>(1));
    all.push_back(std::make_unique<cCommandPose>(1));
    all.push_back(std::make_unique<cCommandChangeAvatar>("a"));
    all.push_back(std::make_unique<cCommandChangeBackground>("b"));
    all.push_back(std::make_unique<cCommandGetAvatarList>());
    all.push_back(std::make_unique<cCommandGetBackgroundList>());
    all.push_back(std::make_unique<cCommandEmote>("e"));
    all.push_back(std::make_unique<cCommandGetEmoteList>());
    all.push_back(std::make_unique<cCommandGetSpecialActionList>());
    all.push_back(std::make_unique<cCommandGetPoseList>());
    all.push_back(std::make_unique<cCommandQuickslot>("q"));
    all.push_back(std::make_unique<cCommandGetQuickslotList>());
    all.push_back(std::make_unique<cCommandIdle>(1));
    all.push_back(std::make_unique<cCommandGetIdleList>());
    return all;
  }();
  for (std::size_t i = 0; i < commands.size(); ++i) {
    EXPECT_EQ(commands[i]->GetKind(), 524288u + i) << i;
  }
}

TEST(Commands, CommandsWithoutValueHaveNoText) {
  EXPECT_EQ(cCommandBroadcast().Serialize(), "");
  EXPECT_EQ(cCommandCalibrate().Serialize(), "");
  EXPECT_EQ(cCommandGetAvatarList().Serialize(), "");
  EXPECT_EQ(cCommandGetBackgroundList().Serialize(), "");
  EXPECT_EQ(cCommandGetEmoteList().Serialize(), "");
  EXPECT_EQ(cCommandGetSpecialActionList().Serialize(), "");
  EXPECT_EQ(cCommandGetPoseList().Serialize(), "");
  EXPECT_EQ(cCommandGetQuickslotList().Serialize(), "");
  EXPECT_EQ(cCommandGetIdleList().Serialize(), "");
}

TEST(Commands, IntegerValuesAreWrittenCompactlyWithALineFeed) {
  EXPECT_EQ(cCommandPose(3).Serialize(), "{\"value1\":3}\n");
  EXPECT_EQ(cCommandPose(3).Serialize().size(), 13u);
  EXPECT_EQ(cCommandIdle(-1).Serialize(), "{\"value1\":-1}\n");
  EXPECT_EQ(cCommandSpecialAction(0).Serialize(), "{\"value1\":0}\n");
  EXPECT_EQ(cCommandSpecialAction(-2147483647 - 1).Serialize(), "{\"value1\":-2147483648}\n");
  EXPECT_EQ(cCommandIdle(2147483647).Serialize(), "{\"value1\":2147483647}\n");
}

TEST(Commands, TextValuesAreEscapedByTheWriter) {
  EXPECT_EQ(cCommandEmote("abc").Serialize(), "{\"value1\":\"abc\"}\n");
  EXPECT_EQ(cCommandEmote("abc").Serialize().size(), 17u);
  EXPECT_EQ(cCommandChangeAvatar("say \"hi\"").Serialize(), "{\"value1\":\"say \\\"hi\\\"\"}\n");
  EXPECT_EQ(cCommandChangeBackground("C:\\bg\\x.png").Serialize(),
            "{\"value1\":\"C:\\\\bg\\\\x.png\"}\n");
  EXPECT_EQ(cCommandQuickslot("a\nb\tc\x01").Serialize(), "{\"value1\":\"a\\nb\\tc\\u0001\"}\n");
  EXPECT_EQ(cCommandQuickslot("").Serialize(), "{\"value1\":\"\"}\n");
}

} // namespace
