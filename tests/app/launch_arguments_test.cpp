#include "app/launch_arguments.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool Parse(std::vector<const char *> arguments, LaunchArguments &parsed) {
  arguments.insert(arguments.begin(), "zorvaneplugin");
  return ParseLaunchArguments(static_cast<int>(arguments.size()), arguments.data(), parsed);
}

TEST(LaunchArguments, AcceptsThePairsInAnyOrder) {
  LaunchArguments parsed;
  ASSERT_TRUE(Parse(
      {"-info", "{}", "-registerEvent", "registerPlugin", "-pluginUUID", "U1", "-port", "28196"},
      parsed));
  EXPECT_EQ(parsed.port, 28196);
  EXPECT_EQ(parsed.pluginUUID, "U1");
  EXPECT_EQ(parsed.registerEvent, "registerPlugin");
  EXPECT_EQ(parsed.info, "{}");
}

TEST(LaunchArguments, LaterDuplicateWinsButLeavesASlotEmpty) {
  // Four pairs with one name twice always miss one of the four values.
  LaunchArguments parsed;
  EXPECT_FALSE(
      Parse({"-pluginUUID", "first", "-port", "5", "-pluginUUID", "second", "-registerEvent", "r"},
            parsed));
  EXPECT_EQ(parsed.pluginUUID, "second");
  EXPECT_TRUE(parsed.info.empty());
}

TEST(LaunchArguments, PortIsConvertedLikeAtoi) {
  LaunchArguments parsed;
  ASSERT_TRUE(
      Parse({"-port", "12abc", "-pluginUUID", "u", "-registerEvent", "r", "-info", "{}"}, parsed));
  EXPECT_EQ(parsed.port, 12);
  ASSERT_TRUE(
      Parse({"-port", "-5", "-pluginUUID", "u", "-registerEvent", "r", "-info", "{}"}, parsed));
  EXPECT_EQ(parsed.port, -5);
}

TEST(LaunchArguments, RefusesMissingOrUnusableValues) {
  const std::vector<std::vector<const char *>> refused = {
      {"-port", "5", "-pluginUUID", "u", "-registerEvent", "r"},
      {"-port", "5", "-pluginUUID", "u", "-registerEvent", "r", "-info", "{}", "-x"},
      {"-port", "0", "-pluginUUID", "u", "-registerEvent", "r", "-info", "{}"},
      {"-port", "abc", "-pluginUUID", "u", "-registerEvent", "r", "-info", "{}"},
      {"-port", "5", "-pluginUUID", "", "-registerEvent", "r", "-info", "{}"},
      {"-port", "5", "-pluginUUID", "u", "-registerEvent", "", "-info", "{}"},
      {"-port", "5", "-pluginUUID", "u", "-registerEvent", "r", "-info", ""},
      {"-port", "5", "-pluginUUID", "u", "-registerevent", "r", "-info", "{}"},
      {"-port", "5", "-port", "6", "-registerEvent", "r", "-info", "{}"},
  };
  for (const auto &arguments : refused) {
    LaunchArguments parsed;
    EXPECT_FALSE(Parse(arguments, parsed))
        << arguments.size() << " arguments, first value " << arguments[1];
  }
}

TEST(ChooseLanguage, TakesTheApplicationLanguageString) {
  EXPECT_EQ(ChooseLanguage(R"({"application":{"language":"de","platform":"windows"}})"), "de");
  EXPECT_EQ(ChooseLanguage(R"({"application":{"language":"zh_CN"}})"), "zh_CN");
  EXPECT_EQ(ChooseLanguage(R"({"application":{"language":""}})"), "");
  EXPECT_EQ(ChooseLanguage(R"(/* host */ {"application":{"language":"fr"}} trailing)"), "fr");
}

TEST(ChooseLanguage, FallsBackToEnglish) {
  EXPECT_EQ(ChooseLanguage("{}"), "en");
  EXPECT_EQ(ChooseLanguage("not json"), "en");
  EXPECT_EQ(ChooseLanguage("[1,2]"), "en");
  EXPECT_EQ(ChooseLanguage(R"({"application":{"language":7}})"), "en");
  EXPECT_EQ(ChooseLanguage(R"({"application":"de"})"), "en");
  EXPECT_EQ(ChooseLanguage(R"({"language":"de"})"), "en");
}

} // namespace
