// What the plug-in sends for each Stream Deck event and each reaction, with
// recorders in place of the Stream Deck session and the command sender.
#include "desktop/key_actions.h"
#include "plugin/zorvane_plugin.h"
#include "streamdeck/json_text.h"
#include "streamdeck/plugin_channel.h"
#include "support/recorded_plugin.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <string_view>

namespace {

class Plugin : public ::testing::Test, protected RecordedPlugin {
protected:
  void Appear(std::string_view action, const std::string &context,
              const std::string &settings = "{}") {
    Event("willAppear", action, context, R"({"settings":)" + settings + "}");
  }
};

std::string Value1(const std::string &json) { return "{\"value1\":" + json + "}\n"; }

TEST_F(Plugin, KeyReleaseSendsTheCommandOfEachActionFromStoredSettings) {
  struct Case {
    std::string_view action;
    std::string settings;
    std::uint32_t kind;
    std::string text;
  };
  const Case cases[] = {
      {Action::Broadcast, R"({"value":5})", 0x80000, ""},
      {Action::Calibrate, "{}", 0x80001, ""},
      {Action::SpecialAction, R"({"value":7})", 0x80002, Value1("7")},
      {Action::Pose, R"({"value":3.9})", 0x80003, Value1("3")},
      {Action::ChangeAvatar, R"({"value":"Fox"})", 0x80004, Value1(R"("Fox")")},
      {Action::ChangeBackground, R"({"value":"Beach \"2\""})", 0x80005, Value1(R"("Beach \"2\"")")},
      {Action::Emote, R"({"value":12})", 0x80008, Value1(R"("12")")},
      {Action::Quickslot, R"({"value":true})", 0x8000C, Value1(R"("true")")},
      {Action::Idle, R"({"value":-4})", 0x8000E, Value1("-4")},
  };
  for (const Case &c : cases) {
    Appear(c.action, "key", c.settings);
    Event("keyDown", c.action, "key");
    EXPECT_TRUE(TakeCommands().empty()) << c.action;
    Event("keyUp", c.action, "key", R"({"settings":{"value":99}})");
    const auto sent = TakeCommands();
    ASSERT_EQ(sent.size(), 1u) << c.action;
    EXPECT_EQ(sent[0].kind, c.kind) << c.action;
    EXPECT_EQ(sent[0].text, c.text) << c.action;
    EXPECT_TRUE(TakeMessages().empty()) << "a key press sends nothing to the Stream Deck";
  }
}

TEST_F(Plugin, IntegerActionsSendZeroAndTextActionsNothingWithoutValue) {
  Event("keyUp", Action::Pose, "unknown-key");
  Appear(Action::Idle, "k", R"({"value":true})");
  Event("keyUp", Action::Idle, "k");
  Event("keyUp", Action::Emote, "unknown-key");
  Appear(Action::Emote, "e", R"({"value":""})");
  Event("keyUp", Action::Emote, "e");
  Appear(Action::ChangeAvatar, "a", R"({"value":null})");
  Event("keyUp", Action::ChangeAvatar, "a");
  const auto sent = TakeCommands();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].text, Value1("0"));
  EXPECT_EQ(sent[1].text, Value1("1"));
}

TEST_F(Plugin, ForeignOrMiscasedActionsSendNothing) {
  Event("keyUp", "com.example.other.broadcast", "k");
  Event("keyUp", "com.brimcove.zorvaneplugin.Broadcast", "k");
  Event("keyUp", "", "k");
  EXPECT_TRUE(TakeCommands().empty());
}

TEST_F(Plugin, UnconvertibleValueSendsNothingAndTheSessionGoesOn) {
  Appear(Action::Pose, "p", R"({"value":"three"})");
  Appear(Action::Emote, "e", R"({"value":[1]})");
  Event("keyUp", Action::Pose, "p");
  Event("keyUp", Action::Emote, "e");
  EXPECT_TRUE(TakeCommands().empty());
  Event("keyUp", Action::Broadcast, "b");
  EXPECT_EQ(TakeCommands().size(), 1u);
}

TEST_F(Plugin, TwoQuickReleasesSendTwoCommands) {
  Event("keyUp", Action::Broadcast, "b");
  Event("keyUp", Action::Broadcast, "b");
  EXPECT_EQ(TakeCommands().size(), 2u);
}

TEST_F(Plugin, InspectorOpeningRequestsTheListOfItsAction) {
  const std::pair<std::string_view, std::uint32_t> lists[] = {
      {Action::ChangeAvatar, 0x80006}, {Action::ChangeBackground, 0x80007},
      {Action::Emote, 0x80009},        {Action::SpecialAction, 0x8000A},
      {Action::Pose, 0x8000B},         {Action::Quickslot, 0x8000D},
      {Action::Idle, 0x8000F},
  };
  for (const auto &[action, kind] : lists) {
    Appear(action, "k");
    Event("propertyInspectorDidAppear", action, "k");
    const auto sent = TakeCommands();
    ASSERT_EQ(sent.size(), 1u) << action;
    EXPECT_EQ(sent[0].kind, kind);
    EXPECT_EQ(sent[0].text, "");
    EXPECT_EQ(plugin.Store().Find("k", std::string(action)).inspectorCount, 1);
  }
  Appear(Action::Broadcast, "b");
  Event("propertyInspectorDidAppear", Action::Broadcast, "b");
  Event("propertyInspectorDidAppear", Action::Calibrate, "c");
  EXPECT_TRUE(TakeCommands().empty());
  EXPECT_EQ(plugin.Store().Find("b", std::string(Action::Broadcast)).inspectorCount, 1);
  // The request goes out even for a key that was never stored.
  Event("propertyInspectorDidAppear", Action::Emote, "never-seen");
  EXPECT_EQ(TakeCommands().size(), 1u);
}

class PluginWithImages : public Plugin {
protected:
  TemporaryFolder folder{"plugin-test"};
  std::string path = folder.Path() + "/key.png";
  std::string other = folder.Path() + "/other.png";
  void SetUp() override {
    std::ofstream(path, std::ios::binary) << "abc";
    std::ofstream(other, std::ios::binary) << "xyz";
  }
  // A Windows path holds backslashes, which JSON text escapes.
  static std::string Image(const std::string &image) { return WriteJsonString(image); }
  std::string Settings(const std::string &image) {
    return R"({"value":"1","image":)" + Image(image) + "}";
  }
};

TEST_F(PluginWithImages, AppearingKeyShowsTheImageOfItsFirstStoredSettings) {
  Appear(Action::Quickslot, "q", Settings(path));
  Appear(Action::Quickslot, "q", Settings(other));
  Appear(Action::Pose, "no-image", R"({"value":1})");
  const auto sent = TakeMessages();
  ASSERT_EQ(sent.size(), 2u);
  for (const Json::Value &message : sent) {
    EXPECT_EQ(message["event"].asString(), "setImage");
    EXPECT_EQ(message["context"].asString(), "q");
    EXPECT_EQ(message["payload"]["image"].asString(), "data:image/png;base64,YWJj");
  }
}

TEST_F(PluginWithImages, NewSettingsReloadTheImageOfStoredKeysOnly) {
  Appear(Action::Emote, "e", Settings(path));
  TakeMessages();
  Event("didReceiveSettings", Action::Emote, "e", R"({"settings":)" + Settings(other) + "}");
  Event("didReceiveSettings", Action::Emote, "never-seen",
        R"({"settings":)" + Settings(path) + "}");
  const auto sent = TakeMessages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["payload"]["image"].asString(), "data:image/png;base64,eHl6");
  Event("didReceiveSettings", Action::Emote, "e", R"({"settings":{"image":"/nonexistent.png"}})");
  EXPECT_EQ(TakeMessages().at(0)["payload"]["image"].asString(), "");
}

TEST_F(Plugin, ApplicationTerminationResetsKeysAndTellsOpenInspectors) {
  Appear(Action::Broadcast, "b1");
  Appear(Action::Broadcast, "b2");
  Appear(Action::Pose, "p1");
  Appear(Action::Emote, "e1");
  Appear(Action::Emote, "e2");
  Event("propertyInspectorDidAppear", Action::Emote, "e1");
  for (int round = 0; round < 2; ++round) {
    Event("applicationDidTerminate", "", "", R"({"application":"Zorvane.exe"})");
    const auto sent = TakeMessages();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0]["event"].asString(), "sendToPropertyInspector");
    EXPECT_EQ(sent[0]["context"].asString(), "e1");
    EXPECT_EQ(sent[0]["action"].asString(), Action::Emote);
    EXPECT_TRUE(sent[0]["payload"]["appDidClose"].isBool());
    EXPECT_TRUE(sent[0]["payload"]["appDidClose"].asBool());
    EXPECT_EQ(sent[0]["payload"].size(), 1u);
    std::set<std::string> reset;
    for (std::size_t i = 1; i < sent.size(); ++i) {
      EXPECT_EQ(sent[i]["event"].asString(), "setState");
      EXPECT_EQ(sent[i]["payload"]["state"].asInt(), 0);
      reset.insert(sent[i]["context"].asString());
    }
    EXPECT_EQ(reset, (std::set<std::string>{"b1", "b2", "p1"}));
  }
  EXPECT_EQ(plugin.Store().Find("e1", std::string(Action::Emote)).inspectorCount, 1);
}

TEST_F(Plugin, EventsWithNothingToDoSendNothing) {
  Appear(Action::Broadcast, "b");
  for (const std::string event :
       {"sendToPlugin", "deviceDidConnect", "deviceDidDisconnect", "applicationDidLaunch"}) {
    Event(event, Action::Broadcast, "b", R"({"settings":{"value":1}})");
  }
  Event("willDisappear", Action::Broadcast, "b");
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(TakeCommands().empty());
}

TEST_F(Plugin, RefreshAsksOncePerOpenInspectorGroupedByAction) {
  Plugin::Appear(Action::Idle, "i");
  Plugin::Appear(Action::Emote, "e1");
  Plugin::Appear(Action::Emote, "e2");
  Plugin::Appear(Action::ChangeAvatar, "a");
  Plugin::Appear(Action::Broadcast, "b");
  Plugin::Appear(Action::Pose, "closed");
  for (const auto &[action, context] :
       {std::pair{Action::Idle, "i"}, std::pair{Action::Emote, "e1"},
        std::pair{Action::Emote, "e2"}, std::pair{Action::ChangeAvatar, "a"},
        std::pair{Action::Broadcast, "b"}}) {
    Event("propertyInspectorDidAppear", action, context);
  }
  TakeCommands();
  plugin.RequestListsForOpenInspectors();
  EXPECT_EQ(TakeCommandKinds(), (std::vector<std::uint32_t>{0x80006, 0x80009, 0x80009, 0x8000F}));
}

TEST_F(Plugin, EveryKeyActionRowDrivesItsKeyReleaseInspectorAndRefresh) {
  std::vector<std::uint32_t> listRequests;
  for (const KeyAction &action : kKeyActions) {
    SCOPED_TRACE(action.identifier);
    Appear(action.identifier, "k", R"({"value":1})");
    Event("keyUp", action.identifier, "k");
    const auto released = TakeCommands();
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0].kind, action.keyCommand);
    Event("propertyInspectorDidAppear", action.identifier, "k");
    const auto opened = TakeCommands();
    ASSERT_EQ(opened.size(), action.HasList() ? 1u : 0u);
    if (action.HasList()) {
      EXPECT_EQ(opened[0].kind, action.listRequest);
      listRequests.push_back(action.listRequest);
    }
  }
  plugin.RequestListsForOpenInspectors();
  EXPECT_EQ(TakeCommandKinds(), listRequests);
}

TEST_F(Plugin, BroadcastStateFollowsOnEveryBroadcastKey) {
  plugin.ApplyBroadcastState(true);
  EXPECT_TRUE(TakeMessages().empty());
  Appear(Action::Broadcast, "b1");
  Appear(Action::Broadcast, "b2");
  Appear(Action::Pose, "p");
  plugin.ApplyBroadcastState(true);
  auto sent = TakeMessages();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0]["payload"]["state"].asInt(), 1);
  plugin.ApplyBroadcastState(false);
  sent = TakeMessages();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1]["payload"]["state"].asInt(), 0);
}

TEST_F(Plugin, PoseStateChangesOnlyKeysOfThatPose) {
  Appear(Action::Pose, "none");
  Appear(Action::Pose, "zero", R"({"value":0})");
  Appear(Action::Pose, "four", R"({"value":4})");
  Appear(Action::Pose, "four-too", R"({"value":4.2})");
  Appear(Action::Pose, "broken", R"({"value":"4"})");
  Appear(Action::Pose, "huge", R"({"value":1e12})");
  plugin.ApplyPoseState(true, 0);
  std::set<std::string> changed;
  for (const Json::Value &message : TakeMessages()) {
    EXPECT_EQ(message["payload"]["state"].asInt(), 1);
    changed.insert(message["context"].asString());
  }
  EXPECT_EQ(changed, (std::set<std::string>{"none", "zero"}));
  plugin.ApplyPoseState(false, 4);
  changed.clear();
  for (const Json::Value &message : TakeMessages()) {
    EXPECT_EQ(message["payload"]["state"].asInt(), 0);
    changed.insert(message["context"].asString());
  }
  EXPECT_EQ(changed, (std::set<std::string>{"four", "four-too"}));
}

TEST_F(PluginWithImages, QuickslotStateReloadsTheImageOfMatchingKeys) {
  Appear(Action::Quickslot, "five", R"({"value":5,"image":)" + Image(path) + "}");
  Appear(Action::Quickslot, "five-no-image", R"({"value":"5"})");
  Appear(Action::Quickslot, "six", R"({"value":"6","image":)" + Image(other) + "}");
  Appear(Action::Quickslot, "broken", R"({"value":{"x":1}})");
  Appear(Action::Quickslot, "empty");
  TakeMessages();
  plugin.ApplyQuickslotState("5", false);
  EXPECT_TRUE(TakeMessages().empty());
  plugin.ApplyQuickslotState("5", true);
  auto sent = TakeMessages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["context"].asString(), "five");
  EXPECT_EQ(sent[0]["payload"]["image"].asString(), "data:image/png;base64,YWJj");
  plugin.ApplyQuickslotState("", true); // matches the key without a value, which has no image
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Plugin, ListReachesEveryOpenInspectorOfItsActionUnchanged) {
  Appear(Action::Emote, "e1");
  Appear(Action::Emote, "e2");
  Appear(Action::Emote, "closed");
  Appear(Action::Pose, "p");
  Event("propertyInspectorDidAppear", Action::Emote, "e1");
  Event("propertyInspectorDidAppear", Action::Emote, "e2");
  Event("propertyInspectorDidAppear", Action::Pose, "p");
  Json::Value list;
  ParseJsonText(R"({"listType":"emote","itemList":[{"name":"Wave"}],"imagePath":"C:\\e","x":1})",
                list);
  plugin.ForwardListToInspectors(std::string(Action::Emote), list);
  std::set<std::string> reached;
  for (const Json::Value &message : TakeMessages()) {
    EXPECT_EQ(message["event"].asString(), "sendToPropertyInspector");
    EXPECT_EQ(message["action"].asString(), Action::Emote);
    EXPECT_EQ(message["payload"], list);
    reached.insert(message["context"].asString());
  }
  EXPECT_EQ(reached, (std::set<std::string>{"e1", "e2"}));
  plugin.ForwardListToInspectors(std::string(Action::Idle), list);
  EXPECT_TRUE(TakeMessages().empty());
}

} // namespace
