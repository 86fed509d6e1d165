// The key action table walked row by row: each row's key command, list
// request and list notification are what the row says, whatever rows exist.
#include "desktop/key_actions.h"
#include "streamdeck/json_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string Value1(const std::string &json) { return "{\"value1\":" + json + "}\n"; }

Json::Value Settings(const Json::Value &value) {
  Json::Value settings(Json::objectValue);
  settings["value"] = value;
  return settings;
}

// Records the lists that notifications forward, and nothing else.
class ListRecorder : public cNotificationReactions {
public:
  std::vector<std::string> forwardedTo;

  void RequestListsForOpenInspectors() override { forwardedTo.push_back("refresh"); }
  void ApplyBroadcastState(bool) override { forwardedTo.push_back("broadcast"); }
  void ApplyPoseState(bool, std::int32_t) override { forwardedTo.push_back("pose"); }
  void ApplyQuickslotState(const std::string &, bool) override {
    forwardedTo.push_back("quickslot");
  }
  void ForwardListToInspectors(const std::string &action, const Json::Value &) override {
    forwardedTo.push_back(action);
  }
};

std::vector<std::string> ForwardedTo(std::uint32_t kind, const std::string &payload) {
  ListRecorder recorder;
  DispatchNotification(kind, payload, recorder);
  return recorder.forwardedTo;
}

std::string List(const std::string &listType, const std::string &imagePath) {
  return R"({"imagePath":")" + imagePath + R"(","itemList":[],"listType":")" + listType + R"("})";
}

std::string ListWithoutImagePath(const std::string &listType) {
  return R"({"itemList":[{"name":"x"}],"listType":")" + listType + R"("})";
}

TEST(KeyActionTable, IdentifiersCommandsAndListsAreEachUnique) {
  std::set<std::string_view> identifiers;
  std::set<std::uint32_t> commands;
  std::set<std::uint32_t> listKinds;
  std::set<std::string> listTypes;
  for (const KeyAction &action : kKeyActions) {
    EXPECT_FALSE(action.identifier.empty());
    EXPECT_TRUE(identifiers.insert(action.identifier).second) << action.identifier;
    EXPECT_TRUE(commands.insert(action.keyCommand).second) << action.identifier;
    if (action.HasList()) {
      EXPECT_TRUE(commands.insert(action.listRequest).second) << action.identifier;
      EXPECT_TRUE(listKinds.insert(action.listKind).second) << action.identifier;
      ASSERT_NE(action.listType, nullptr) << action.identifier;
      EXPECT_TRUE(listTypes.insert(action.listType).second) << action.identifier;
    } else {
      EXPECT_EQ(action.listKind, 0u) << action.identifier;
      EXPECT_EQ(action.listType, nullptr) << action.identifier;
      EXPECT_FALSE(action.listItemsHaveImagePath) << action.identifier;
    }
    // A dial turns through its action's list, so only an action with one turns.
    EXPECT_EQ(action.dial.turns, action.HasList()) << action.identifier;
    EXPECT_EQ(action.dial.onText.empty(), action.dial.offText.empty()) << action.identifier;
  }
  EXPECT_EQ(identifiers.size(), std::size(kKeyActions));
}

// A dial's strip shows the row's name as its title (translated through the
// language files, whose keys are the English names): it must be the
// manifest's name of the action.
TEST(KeyActionTable, NamesAreTheManifestsNames) {
  std::ifstream file(ZORVANE_MANIFEST, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  Json::Value manifest;
  ASSERT_TRUE(ParseJsonText(text.str(), manifest)) << ZORVANE_MANIFEST;
  std::map<std::string, std::string> names;
  for (const Json::Value &action : manifest["Actions"]) {
    names[action["UUID"].asString()] = action["Name"].asString();
  }
  ASSERT_EQ(names.size(), std::size(kKeyActions));
  for (const KeyAction &action : kKeyActions) {
    EXPECT_EQ(names[std::string(action.identifier)], action.name) << action.identifier;
  }
}

TEST(KeyActionTable, EachIdentifierFindsItsOwnRowAndNothingElseFindsOne) {
  for (const KeyAction &action : kKeyActions) {
    const std::string copy(action.identifier);
    EXPECT_EQ(FindKeyAction(copy), &action) << copy;
    EXPECT_EQ(FindKeyAction(copy + " "), nullptr) << copy;
    EXPECT_EQ(FindKeyAction(copy + '\0'), nullptr) << copy;
    EXPECT_EQ(FindKeyAction(copy.substr(0, copy.size() - 1)), nullptr) << copy;
    std::string upper = copy;
    upper.back() = static_cast<char>(upper.back() - 'a' + 'A');
    EXPECT_EQ(FindKeyAction(upper), nullptr) << upper;
  }
  EXPECT_EQ(FindKeyAction(""), nullptr);
  EXPECT_EQ(FindKeyAction("com.example.other.broadcast"), nullptr);
}

// The text each row's command takes from settings, by the kind of value it reads.
void ExpectValueRead(const KeyAction &action) {
  const auto text = [&action](const Json::Value &settings) {
    const auto command = MakeKeyCommand(action, settings);
    return command ? command->Serialize() : std::string("(nothing)");
  };
  switch (action.keyValue) {
  case KeyValue::None:
    EXPECT_EQ(text(Settings(42)), "");
    EXPECT_EQ(text(Settings(Json::Value(Json::arrayValue))), "");
    EXPECT_EQ(text(Json::Value()), "");
    break;
  case KeyValue::Integer:
    EXPECT_EQ(text(Settings(42)), Value1("42"));
    EXPECT_EQ(text(Settings(-3.7)), Value1("-3"));
    EXPECT_EQ(text(Json::Value()), Value1("0"));
    EXPECT_THROW(MakeKeyCommand(action, Settings("Fox")), Json::Exception);
    break;
  case KeyValue::Text:
    EXPECT_EQ(text(Settings(42)), Value1(R"("42")"));
    EXPECT_EQ(text(Settings("Fox \"2\"")), Value1(R"("Fox \"2\"")"));
    EXPECT_EQ(text(Settings("")), "(nothing)");
    EXPECT_EQ(text(Json::Value()), "(nothing)");
    EXPECT_THROW(MakeKeyCommand(action, Settings(Json::Value(Json::arrayValue))), Json::Exception);
    break;
  }
}

TEST(KeyActionTable, KeyReleaseSendsTheRowsCommandWithTheValueItReads) {
  for (const KeyAction &action : kKeyActions) {
    SCOPED_TRACE(action.identifier);
    const auto command = MakeKeyCommand(action, Settings(1));
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->GetKind(), action.keyCommand);
    ExpectValueRead(action);
  }
}

TEST(KeyActionTable, InspectorListRequestIsTheRowsOwnWithoutText) {
  for (const KeyAction &action : kKeyActions) {
    const auto request = MakeListRequest(action);
    if (!action.HasList()) {
      EXPECT_EQ(request, nullptr) << action.identifier;
      continue;
    }
    ASSERT_NE(request, nullptr) << action.identifier;
    EXPECT_EQ(request->GetKind(), action.listRequest) << action.identifier;
    EXPECT_EQ(request->Serialize(), "") << action.identifier;
  }
}

TEST(KeyActionTable, ListOfTheRowsKindAndTypeReachesTheRowsAction) {
  for (const KeyAction &action : kKeyActions) {
    if (!action.HasList()) {
      continue;
    }
    SCOPED_TRACE(action.identifier);
    const std::vector<std::string> toThisAction{std::string(action.identifier)};
    EXPECT_EQ(ForwardedTo(action.listKind, List(action.listType, "C:\\\\img")), toThisAction);
    const auto bare = ForwardedTo(action.listKind, ListWithoutImagePath(action.listType));
    EXPECT_EQ(bare.empty(), action.listItemsHaveImagePath);
    const auto emptyPath = ForwardedTo(action.listKind, List(action.listType, ""));
    EXPECT_EQ(emptyPath.empty(), action.listItemsHaveImagePath);
    for (const KeyAction &other : kKeyActions) {
      if (&other != &action && other.HasList()) {
        EXPECT_TRUE(ForwardedTo(action.listKind, List(other.listType, "p")).empty())
            << other.listType;
      }
    }
  }
}

} // namespace
