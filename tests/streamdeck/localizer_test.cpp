#include "streamdeck/localizer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

class LocalizationFolder : public ::testing::Test {
protected:
  std::string folder;

  void SetUp() override {
    char pattern[] = "/tmp/zorvane-l10n-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = pattern;
  }
  void TearDown() override {
    for (const char *name : {"en.json", "de.json", "xx.json"}) {
      std::remove((folder + "/" + name).c_str());
    }
    ::rmdir(folder.c_str());
  }
  void Write(const std::string &name, const std::string &text) {
    std::ofstream(folder + "/" + name) << text;
  }
};

TEST_F(LocalizationFolder, LoadsTheLocalizationObjectOfTheLanguage) {
  Write("de.json", "// German\n{\"Localization\": {\"Broadcast\": \"Senden\"}, \"Other\": 1}");
  const Json::Value table = LoadLocalizationTable(folder, "de");
  ASSERT_TRUE(table.isObject());
  EXPECT_EQ(table["Broadcast"].asString(), "Senden");
  EXPECT_FALSE(table.isMember("Other"));
}

TEST_F(LocalizationFolder, EveryFailureLeavesTheTableNull) {
  Write("en.json", R"({"Localization": "not an object"})");
  EXPECT_TRUE(LoadLocalizationTable(folder, "en").isNull());
  Write("en.json", R"([{"Localization": {}}])");
  EXPECT_TRUE(LoadLocalizationTable(folder, "en").isNull());
  Write("en.json", R"({"Localization": {"a": )");
  EXPECT_TRUE(LoadLocalizationTable(folder, "en").isNull());
  Write("en.json", R"({"Other": {}})");
  EXPECT_TRUE(LoadLocalizationTable(folder, "en").isNull());
  Write("xx.json",
        "{\"Localization\": {\"deep\": " + std::string(1001, '[') + std::string(1001, ']') + "}}");
  EXPECT_TRUE(LoadLocalizationTable(folder, "xx").isNull());
  EXPECT_TRUE(LoadLocalizationTable(folder, "fr").isNull());
  Write("de.json", R"({"Localization": {}})");
  EXPECT_TRUE(LoadLocalizationTable(folder, "").isNull());
  EXPECT_TRUE(LoadLocalizationTable("", "de").isNull());
  EXPECT_TRUE(LoadLocalizationTable(folder, "DE").isNull());
}

} // namespace
