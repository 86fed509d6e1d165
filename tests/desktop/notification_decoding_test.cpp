// Notifications are accepted only from the desktop application's window,
// their text is cut exactly, and every kind's checks hold before a reaction runs.
#include "desktop/notification_decoding.h"

#include "desktop/key_actions.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

class RecordingReactions : public cNotificationReactions {
public:
  std::vector<std::string> calls;
  bool failBroadcast = false; // the broadcast reaction throws, as when memory runs out

  void RequestListsForOpenInspectors() override { calls.push_back("refresh"); }
  void ApplyBroadcastState(bool on) override {
    if (failBroadcast) {
      throw std::bad_alloc();
    }
    calls.push_back(std::string("broadcast ") + (on ? "on" : "off"));
  }
  void ApplyPoseState(bool active, std::int32_t pose) override {
    calls.push_back(std::string("pose ") + (active ? "on " : "off ") + std::to_string(pose));
  }
  void ApplyQuickslotState(const std::string &value, bool flag) override {
    calls.push_back("quickslot " + value + (flag ? " true" : " false"));
  }
  void ForwardListToInspectors(const std::string &action, const Json::Value &document) override {
    Json::FastWriter writer;
    calls.push_back("list " + action + " " + writer.write(document));
  }
};

std::vector<std::string> Dispatch(std::uint32_t kind, const std::string &payload) {
  RecordingReactions reactions;
  DispatchNotification(kind, payload, reactions);
  return reactions.calls;
}

using Calls = std::vector<std::string>;

platform::CopyData Data(std::uint64_t kind, const std::string &bytes) {
  platform::CopyData data;
  data.kind = kind;
  data.size = static_cast<std::uint32_t>(bytes.size());
  data.data = bytes.data();
  return data;
}

TEST(NotificationPayload, LastCountedByteIsNeverReadAndNulEndsTheText) {
  const std::string counted("{\"value1\":true}\0", 16);
  EXPECT_EQ(ExtractNotificationPayload(Data(0, counted)), "{\"value1\":true}");
  EXPECT_EQ(ExtractNotificationPayload(Data(0, "{\"value1\":true}")), "{\"value1\":true");
  EXPECT_EQ(ExtractNotificationPayload(Data(0, std::string("ab\0cd\0", 6))), "ab");
  EXPECT_EQ(ExtractNotificationPayload(Data(0, std::string("\0", 1))), "");
  EXPECT_EQ(ExtractNotificationPayload(Data(0, "")), "");
  platform::CopyData nullData;
  nullData.size = 10;
  EXPECT_EQ(ExtractNotificationPayload(nullData), "");
}

TEST(NotificationPayload, OnlyJsonObjectsParse) {
  Json::Value document;
  EXPECT_TRUE(ParseNotificationPayload(R"({"a":1} trailing)", document));
  EXPECT_TRUE(document.isObject());
  EXPECT_FALSE(ParseNotificationPayload("", document));
  EXPECT_FALSE(ParseNotificationPayload("[1]", document));
  EXPECT_FALSE(ParseNotificationPayload("null", document));
  EXPECT_FALSE(ParseNotificationPayload("{\"a\":", document));
  EXPECT_FALSE(ParseNotificationPayload(std::string(1001, '[') + std::string(1001, ']'), document));
}

TEST(DispatchNotification, RefreshOnlyWithoutPayload) {
  EXPECT_EQ(Dispatch(0x160000, ""), Calls{"refresh"});
  EXPECT_EQ(Dispatch(0x160000, "{}"), Calls{});
  EXPECT_EQ(Dispatch(0x160000, "x"), Calls{});
}

TEST(DispatchNotification, StatesNeedExactTypes) {
  EXPECT_EQ(Dispatch(0x160001, R"({"value1":true})"), Calls{"broadcast on"});
  EXPECT_EQ(Dispatch(0x160001, R"({"value1":false})"), Calls{"broadcast off"});
  EXPECT_EQ(Dispatch(0x160001, R"({"value1":1})"), Calls{});
  EXPECT_EQ(Dispatch(0x160001, R"({"value1":"true"})"), Calls{});
  EXPECT_EQ(Dispatch(0x160001, R"({})"), Calls{});

  EXPECT_EQ(Dispatch(0x160002, R"({"value1":true,"value2":2})"), Calls{"pose on 2"});
  EXPECT_EQ(Dispatch(0x160002, R"({"value1":false,"value2":2.0})"), Calls{"pose off 2"});
  EXPECT_EQ(Dispatch(0x160002, R"({"value1":true,"value2":-2147483648})"),
            Calls{"pose on -2147483648"});
  for (const std::string refused :
       {R"({"value1":true,"value2":2.5})", R"({"value1":true,"value2":"2"})",
        R"({"value1":true,"value2":2147483648})", R"({"value1":true,"value2":true})",
        R"({"value1":1,"value2":2})", R"({"value1":true})"}) {
    EXPECT_EQ(Dispatch(0x160002, refused), Calls{}) << refused;
  }

  EXPECT_EQ(Dispatch(0x160009, R"({"value1":"5","value2":true})"), Calls{"quickslot 5 true"});
  EXPECT_EQ(Dispatch(0x160009, R"({"value1":"","value2":false})"), Calls{"quickslot  false"});
  EXPECT_EQ(Dispatch(0x160009, R"({"value1":5,"value2":true})"), Calls{});
  EXPECT_EQ(Dispatch(0x160009, R"({"value1":"5","value2":"true"})"), Calls{});
}

TEST(DispatchNotification, ListsGoToTheActionOfTheirKind) {
  const struct {
    std::uint32_t kind;
    const char *word;
    std::string_view action;
    bool needsImagePath;
  } lists[] = {
      {0x160003, "avatar", Action::ChangeAvatar, true},
      {0x160004, "background", Action::ChangeBackground, true},
      {0x160005, "emote", Action::Emote, true},
      {0x160006, "special_action", Action::SpecialAction, false},
      {0x160007, "pose", Action::Pose, false},
      {0x160008, "quickslot", Action::Quickslot, true},
      {0x16000A, "idle", Action::Idle, false},
  };
  for (const auto &list : lists) {
    const std::string word = list.word;
    const std::string full =
        R"({"extra":1,"imagePath":"C:\\img","itemList":[1,"x"],"listType":")" + word + R"("})";
    EXPECT_EQ(Dispatch(list.kind, full),
              Calls{"list " + std::string(list.action) + " " + full + "\n"})
        << word;
    const std::string noImagePath = R"({"itemList":[],"listType":")" + word + R"("})";
    EXPECT_EQ(Dispatch(list.kind, noImagePath).size(), list.needsImagePath ? 0u : 1u) << word;
    const std::string emptyImagePath =
        R"({"imagePath":"","itemList":[],"listType":")" + word + R"("})";
    EXPECT_EQ(Dispatch(list.kind, emptyImagePath).size(), list.needsImagePath ? 0u : 1u) << word;
    EXPECT_EQ(Dispatch(list.kind, R"({"imagePath":"p","itemList":{},"listType":")" + word + "\"}"),
              Calls{})
        << word;
    EXPECT_EQ(Dispatch(list.kind, R"({"imagePath":"p","itemList":[],"listType":")" + word + "s\"}"),
              Calls{})
        << word;
  }
  EXPECT_EQ(Dispatch(0x160003, R"({"imagePath":"p","itemList":[],"listType":"background"})"),
            Calls{});
  EXPECT_EQ(Dispatch(0x160003, R"({"imagePath":"p","itemList":[],"listType":"Avatar"})"), Calls{});
}

TEST(DispatchNotification, KindsOutsideTheTableAreIgnored) {
  EXPECT_EQ(Dispatch(0x15FFFF, ""), Calls{});
  EXPECT_EQ(Dispatch(0x16000B, R"({"value1":true})"), Calls{});
  EXPECT_EQ(Dispatch(0x80000, R"({"value1":true})"), Calls{});
}

TEST(HandleNotification, AcceptedOnlyFromTheDesktopWindowWithData) {
  int desktopWindow = 0;
  int otherWindow = 0;
  const std::string refresh;
  const platform::CopyData empty = Data(0x160000, refresh);
  RecordingReactions reactions;
  EXPECT_EQ(HandleNotification(&desktopWindow, &empty, &desktopWindow, reactions), 1);
  EXPECT_EQ(HandleNotification(&otherWindow, &empty, &desktopWindow, reactions), 0);
  EXPECT_EQ(HandleNotification(nullptr, &empty, nullptr, reactions), 0);
  EXPECT_EQ(HandleNotification(&desktopWindow, &empty, nullptr, reactions), 0);
  EXPECT_EQ(HandleNotification(&desktopWindow, nullptr, &desktopWindow, reactions), 0);
  EXPECT_EQ(reactions.calls, Calls{"refresh"});
}

TEST(HandleNotification, AcceptedWhateverBecomesOfThePayload) {
  int desktopWindow = 0;
  RecordingReactions reactions;
  const std::string withoutNul = R"({"value1":true})";
  const platform::CopyData lostBrace = Data(0x160001, withoutNul);
  EXPECT_EQ(HandleNotification(&desktopWindow, &lostBrace, &desktopWindow, reactions), 1);
  const std::string nulOnly("\0", 1);
  const platform::CopyData refresh = Data(0x160000, nulOnly);
  EXPECT_EQ(HandleNotification(&desktopWindow, &refresh, &desktopWindow, reactions), 1);
  const std::string counted("{\"value1\":true}\0", 16);
  const platform::CopyData highBits = Data(0xFFFFFFFF00160001ull, counted);
  EXPECT_EQ(HandleNotification(&desktopWindow, &highBits, &desktopWindow, reactions), 1);
  EXPECT_EQ(reactions.calls, (Calls{"refresh", "broadcast on"}));
}

TEST(HandleNotification, AReactionThatThrowsLosesOnlyThatNotification) {
  int desktopWindow = 0;
  RecordingReactions reactions;
  reactions.failBroadcast = true;
  const std::string broadcast("{\"value1\":true}\0", 16);
  const platform::CopyData failing = Data(0x160001, broadcast);
  EXPECT_EQ(HandleNotification(&desktopWindow, &failing, &desktopWindow, reactions), 1);
  const std::string pose("{\"value1\":true,\"value2\":2}\0", 27);
  const platform::CopyData next = Data(0x160002, pose);
  EXPECT_EQ(HandleNotification(&desktopWindow, &next, &desktopWindow, reactions), 1);
  EXPECT_EQ(reactions.calls, Calls{"pose on 2"});
}

} // namespace
