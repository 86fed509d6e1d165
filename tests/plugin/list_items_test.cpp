// The plug-in reads list elements exactly as the property inspector does:
// both walk the same table of cases (tests/inspector/items.test.mjs is the
// inspector's side), so the two can never name an item differently.
#include "plugin/list_items.h"
#include "streamdeck/json_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

Json::Value LoadCases() {
  std::ifstream file(ZORVANE_LIST_ITEM_CASES, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  Json::Value document;
  EXPECT_TRUE(ParseJsonText(text.str(), document)) << "unreadable " << ZORVANE_LIST_ITEM_CASES;
  return document["cases"];
}

void ExpectValue(const Json::Value &expected, const Json::Value &read, bool numeric) {
  if (numeric) {
    ASSERT_TRUE(expected.isInt());
    ASSERT_TRUE(read.isInt()) << read;
    EXPECT_EQ(read.asInt(), expected.asInt());
  } else {
    ASSERT_TRUE(expected.isString());
    ASSERT_TRUE(read.isString()) << read;
    EXPECT_EQ(read.asString(), expected.asString());
  }
}

TEST(ListItems, EveryCaseOfTheSharedTableReadsAsTheInspectorReadsIt) {
  const Json::Value cases = LoadCases();
  ASSERT_TRUE(cases.isArray());
  ASSERT_GE(cases.size(), 10u);
  for (const Json::Value &testCase : cases) {
    SCOPED_TRACE(testCase["name"].asString());
    const bool numeric = testCase["numeric"].asBool();
    const std::vector<ListItem> items = ReadListItems(testCase["list"], numeric);
    const Json::Value &entries = testCase["entries"];
    ASSERT_EQ(items.size(), entries.size());
    for (Json::ArrayIndex i = 0; i < entries.size(); ++i) {
      SCOPED_TRACE("entry " + std::to_string(i));
      const Json::Value &entry = entries[i];
      EXPECT_EQ(items[i].text, entry["text"].asString());
      ExpectValue(entry["value"], items[i].value, numeric);
      EXPECT_EQ(items[i].valueText, JavaScriptText(entry["value"]));
      EXPECT_EQ(items[i].thumbnailFile, entry["file"].isNull() ? "" : entry["file"].asString());
    }
  }
}

TEST(ListItems, ValuesAsTextAreWhatJavaScriptsStringWrites) {
  const std::pair<const char *, const char *> cases[] = {
      {"\"a\"", "a"},
      {"true", "true"},
      {"false", "false"},
      {"null", ""},
      {"[1]", ""},
      {"{}", ""},
      {"-2147483648", "-2147483648"},
      {"1e21", "1e+21"},
      {"-1.5e-7", "-1.5e-7"},
      {"123456.789", "123456.789"},
  };
  for (const auto &[json, text] : cases) {
    Json::Value value;
    ASSERT_TRUE(ParseJsonText(std::string("[") + json + "]", value));
    EXPECT_EQ(JavaScriptText(value[0]), text) << json;
  }
}

} // namespace
