#include "plugin/context_store.h"
#include "streamdeck/json_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

namespace {

Json::Value Parse(const std::string &text) {
  Json::Value value;
  ParseJsonText(text, value);
  return value;
}

Json::Value WithSettings(const std::string &settings) {
  return Parse(R"({"coordinates":{"row":1,"column":2},"settings":)" + settings + "}");
}

const std::string kEmote = "com.brimcove.zorvaneplugin.emote";
const std::string kPose = "com.brimcove.zorvaneplugin.pose";

TEST(ContextRecord, BuiltFromAPayload) {
  const cContextRecord record("c", kPose, WithSettings(R"({"value":3})"));
  EXPECT_EQ(record.row, 1);
  EXPECT_EQ(record.column, 2);
  EXPECT_EQ(record.settings, Parse(R"({"value":3})"));
  EXPECT_EQ(record.inspectorCount, 0);
  const cContextRecord bare("c", kPose, Parse("{}"));
  EXPECT_EQ(bare.row, 0);
  EXPECT_EQ(bare.column, 0);
  EXPECT_TRUE(bare.settings.isNull());
  EXPECT_EQ(bare.GetValueAsInt(), 0);
  EXPECT_FALSE(bare.IsEncoder());
}

TEST(ContextRecord, OnlyTheEncoderControllerMakesADial) {
  EXPECT_TRUE(cContextRecord("c", kPose, Parse(R"({"controller":"Encoder"})")).IsEncoder());
  for (const char *controller : {R"("Keypad")", R"("encoder")", R"("Encoder ")", "1", "null",
                                 R"(["Encoder"])", R"({"name":"Encoder"})"}) {
    EXPECT_FALSE(
        cContextRecord("c", kPose, Parse(std::string(R"({"controller":)") + controller + "}"))
            .IsEncoder())
        << controller;
  }
}

TEST(ContextStore, ADialKeepsItsControllerThroughEveryChange) {
  cContextStore store;
  store.Add("d", kPose, Parse(R"({"controller":"Encoder","settings":{"value":1}})"));
  store.Add("d", kPose, Parse(R"({"controller":"Keypad"})"));
  store.UpdateSettings("d", kPose, Parse(R"({"controller":"Keypad","settings":{"value":2}})"));
  store.UpdateInspectorCount("d", kPose, true);
  store.ReplaceSettings("d", kPose, Parse(R"({"value":3,"image":"x.png"})"));
  store.ReplaceSettings("never-seen", kPose, Parse(R"({"value":4})"));
  const cContextRecord stored = store.Find("d", kPose);
  EXPECT_TRUE(stored.IsEncoder());
  EXPECT_EQ(stored.settings, Parse(R"({"value":3,"image":"x.png"})"));
  EXPECT_EQ(stored.inspectorCount, 1);
  EXPECT_EQ(store.GetByAction(kPose).size(), 1u);
}

TEST(ContextRecord, ValueAsIntFollowsTheJsonConversion) {
  const auto valueOf = [](const std::string &settings) {
    return cContextRecord("c", kPose, WithSettings(settings)).GetValueAsInt();
  };
  EXPECT_EQ(valueOf(R"({"value":3})"), 3);
  EXPECT_EQ(valueOf(R"({"value":3.9})"), 3);
  EXPECT_EQ(valueOf(R"({"value":-3.9})"), -3);
  EXPECT_EQ(valueOf(R"({"value":true})"), 1);
  EXPECT_EQ(valueOf(R"({"value":null})"), 0);
  EXPECT_EQ(valueOf(R"({})"), 0);
  EXPECT_THROW(valueOf(R"({"value":"3"})"), Json::Exception);
  EXPECT_THROW(valueOf(R"({"value":4294967296})"), Json::Exception);
  EXPECT_THROW(valueOf(R"([1])"), Json::Exception);
}

TEST(ContextRecord, UnreadableCoordinatesThrow) {
  EXPECT_THROW(cContextRecord("c", kPose, Parse(R"({"coordinates":"1,2"})")), Json::Exception);
  EXPECT_THROW(cContextRecord("c", kPose, Parse(R"({"coordinates":{"row":"1"}})")),
               Json::Exception);
}

TEST(ContextStore, FirstAppearanceWinsUntilTheKeyDisappears) {
  cContextStore store;
  store.Add("c", kEmote, WithSettings(R"({"value":"wave"})"));
  store.UpdateInspectorCount("c", kEmote, true);
  store.Add("c", kEmote, WithSettings(R"({"value":"bow"})"));
  cContextRecord found = store.Find("c", kEmote);
  EXPECT_EQ(found.settings["value"].asString(), "wave");
  EXPECT_EQ(found.inspectorCount, 1);

  store.Remove("c", kEmote);
  store.Add("c", kEmote, WithSettings(R"({"value":"bow"})"));
  found = store.Find("c", kEmote);
  EXPECT_EQ(found.settings["value"].asString(), "bow");
  EXPECT_EQ(found.inspectorCount, 0);
}

TEST(ContextStore, SettingsAndInspectorsChangeOnlyStoredKeys) {
  cContextStore store;
  store.UpdateSettings("ghost", kEmote, WithSettings(R"({"value":"x"})"));
  store.UpdateInspectorCount("ghost", kEmote, true);
  EXPECT_EQ(store.Find("ghost", kEmote).context, "");
  EXPECT_TRUE(store.GetByAction(kEmote).empty());

  store.Add("c", kEmote, WithSettings(R"({"value":"x"})"));
  store.UpdateSettings("c", kEmote, Parse(R"({"settings":{"value":"y"}})"));
  cContextRecord found = store.Find("c", kEmote);
  EXPECT_EQ(found.settings["value"].asString(), "y");
  EXPECT_EQ(found.row, 1);
  store.UpdateSettings("c", kEmote, Parse("{}"));
  EXPECT_TRUE(store.Find("c", kEmote).settings.isNull());
}

TEST(ContextStore, InspectorCountNeverGoesBelowZero) {
  cContextStore store;
  store.Add("c", kEmote, Json::Value());
  store.UpdateInspectorCount("c", kEmote, true);
  store.UpdateInspectorCount("c", kEmote, true);
  store.UpdateInspectorCount("c", kEmote, false);
  EXPECT_EQ(store.Find("c", kEmote).inspectorCount, 1);
  EXPECT_EQ(store.GetWithOpenInspector().size(), 1u);
  for (int i = 0; i < 3; ++i) {
    store.UpdateInspectorCount("c", kEmote, false);
  }
  EXPECT_EQ(store.Find("c", kEmote).inspectorCount, 0);
  EXPECT_TRUE(store.GetWithOpenInspector().empty());
  store.UpdateInspectorCount("c", kEmote, true);
  EXPECT_EQ(store.Find("c", kEmote).inspectorCount, 1);
}

TEST(ContextStore, KeyIsContextAndAction) {
  cContextStore store;
  store.Add("c", kEmote, Json::Value());
  store.Add("c", kPose, Json::Value());
  store.Add("d", kPose, Json::Value());
  EXPECT_EQ(store.GetByAction(kPose).size(), 2u);
  store.Remove("c", kPose);
  EXPECT_EQ(store.Find("c", kEmote).action, kEmote);
  EXPECT_EQ(store.Find("c", kPose).action, "");
  EXPECT_TRUE(store.GetByAction("com.brimcove.zorvaneplugin.EMOTE").empty());
}

TEST(ContextStore, EmptyContextOrActionIsNeverStored) {
  cContextStore store;
  store.Add("", kEmote, Json::Value());
  store.Add("c", "", Json::Value());
  EXPECT_TRUE(store.GetByAction(kEmote).empty());
  EXPECT_TRUE(store.GetByAction("").empty());
  EXPECT_EQ(store.Find("", kEmote).action, "");
}

TEST(ContextStore, FailedAddLeavesTheStoreUnchangedAndUsable) {
  cContextStore store;
  EXPECT_THROW(store.Add("c", kEmote, Parse(R"({"coordinates":[]})")), Json::Exception);
  EXPECT_TRUE(store.GetByAction(kEmote).empty());
  store.Add("c", kEmote, Json::Value());
  EXPECT_EQ(store.GetByAction(kEmote).size(), 1u);
}

TEST(ContextStore, TwoThreadsAtOnce) {
  cContextStore store;
  constexpr int kKeys = 200;
  std::thread writer([&store] {
    for (int i = 0; i < kKeys; ++i) {
      const std::string context = "c" + std::to_string(i);
      store.Add(context, kPose, WithSettings(R"({"value":1})"));
      store.UpdateInspectorCount(context, kPose, true);
      store.UpdateSettings(context, kPose, WithSettings(R"({"value":2})"));
    }
  });
  // The reader only ever sees whole records: settings are one of the two
  // values written, never a half-written record.
  std::size_t seen = 0;
  while (seen < kKeys) {
    const auto records = store.GetByAction(kPose);
    for (const cContextRecord &record : records) {
      const int value = record.GetValueAsInt();
      EXPECT_TRUE(value == 1 || value == 2);
    }
    seen = std::max(seen, records.size());
    store.GetWithOpenInspector();
  }
  writer.join();
  const auto open = store.GetWithOpenInspector();
  EXPECT_EQ(open.size(), static_cast<std::size_t>(kKeys));
  for (const cContextRecord &record : open) {
    EXPECT_EQ(record.GetValueAsInt(), 2);
    EXPECT_EQ(record.inspectorCount, 1);
  }
}

} // namespace
