#include "streamdeck/localizer.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

class LocalizationFolder : public ::testing::Test {
protected:
  TemporaryFolder temporary{"l10n"};
  std::string folder = temporary.Path();

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
  // The code is used unchanged, so "DE" does not find de.json; except on
  // Windows, whose file system ignores case when it opens the file.
#ifndef _WIN32
  EXPECT_TRUE(LoadLocalizationTable(folder, "DE").isNull());
#endif
}

TEST(Localizer, LooksUpTheEnglishTextAndFallsBackToIt) {
  Json::Value table;
  table["On air"] = "Auf Sendung";
  table["Pose"] = "";
  table["Emote"] = 3;
  table["Idle Animation"] = Json::Value(Json::objectValue);
  const Localizer german(table);
  EXPECT_EQ(german.Localize("On air"), "Auf Sendung");
  for (const char *english : {"Off air", "Pose", "Emote", "Idle Animation", "", "on air"}) {
    EXPECT_EQ(german.Localize(english), english);
  }
  for (const Json::Value &none :
       {Json::Value(), Json::Value("text"), Json::Value(Json::arrayValue)}) {
    EXPECT_EQ(Localizer(none).Localize("Active"), "Active");
  }
}

} // namespace
