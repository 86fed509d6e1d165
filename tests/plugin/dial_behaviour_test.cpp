// What the plug-in sends and queues for actions placed on dials: the strip's
// texts, turning through the action's current list, pushing and tapping, the
// states, and the dial events that must change nothing. Keys beside the dials
// must get exactly what they got before.
#include "desktop/key_actions.h"
#include "desktop/notification_decoding.h"
#include "platform/platform.h"
#include "plugin/zorvane_plugin.h"
#include "streamdeck/base64.h"
#include "streamdeck/json_text.h"
#include "streamdeck/localizer.h"
#include "streamdeck/plugin_channel.h"
#include "support/recorded_plugin.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

class Dial : public ::testing::Test, protected RecordedPlugin {
protected:
  void AppearOnDial(std::string_view action, const std::string &context,
                    const std::string &settings = "{}") {
    Event("willAppear", action, context,
          R"({"controller":"Encoder","coordinates":{"row":0,"column":1},"settings":)" + settings +
              "}");
  }
  void AppearOnKey(std::string_view action, const std::string &context,
                   const std::string &settings = "{}") {
    Event("willAppear", action, context,
          R"({"controller":"Keypad","coordinates":{"row":0,"column":1},"settings":)" + settings +
              "}");
  }
  void Turn(std::string_view action, const std::string &context, const std::string &ticks) {
    Event("dialRotate", action, context,
          R"({"controller":"Encoder","pressed":false,"settings":{},"ticks":)" + ticks + "}");
  }
  // A list notification of the action, as the desktop application sends it.
  void List(std::string_view action, const std::string &document) {
    DispatchNotification(FindKeyAction(action)->listKind, document, plugin);
  }
  Json::Value Stored(std::string_view action, const std::string &context) {
    return plugin.Store().Find(context, std::string(action)).settings;
  }
};

Json::Value Parse(const std::string &text) {
  Json::Value value;
  EXPECT_TRUE(ParseJsonText(text, value)) << text;
  return value;
}

// One setFeedback frame for `context` with exactly `payload`.
void ExpectFeedback(const Json::Value &message, const std::string &context,
                    const std::string &payload) {
  EXPECT_EQ(message["event"].asString(), "setFeedback");
  EXPECT_EQ(message["context"].asString(), context);
  EXPECT_EQ(message["payload"], Parse(payload)) << message.toStyledString();
  EXPECT_EQ(message.size(), 3u);
}

const char kAvatars[] =
    R"({"listType":"avatar","imagePath":"C:\\z","itemList":["Alice",{"name":"Bob","id":"bob-2"},null,"Carol"]})";
const char kPoses[] =
    R"({"listType":"pose","itemList":[{"name":"Wave","id":4},"Sit",{"name":"Bow","id":"9"}]})";

TEST_F(Dial, AppearingDialShowsItsActionsNameAndStoredValueAndAsksForItsList) {
  for (const KeyAction &action : kKeyActions) {
    SCOPED_TRACE(action.identifier);
    AppearOnDial(action.identifier, "d", R"({"value":12,"image":"/nonexistent.png"})");
    const auto sent = TakeMessages();
    ASSERT_EQ(sent.size(), 1u) << "no setImage for a dial";
    ExpectFeedback(sent[0], "d", R"({"title":")" + std::string(action.name) + R"(","value":"12"})");
    const auto asked = TakeCommands();
    ASSERT_EQ(asked.size(), action.HasList() ? 1u : 0u);
    if (action.HasList()) {
      EXPECT_EQ(asked[0].kind, action.listRequest);
    }
    EXPECT_TRUE(plugin.Store().Find("d", std::string(action.identifier)).IsEncoder());
  }
  // Without a list, the stored label names the entry when it is a text.
  const std::pair<std::string, std::string> stored[] = {
      {"{}", ""},
      {R"({"value":{"x":1}})", ""},
      {R"({"value":0.1})", "0.1"},
      {R"({"value":"bob-2","label":"Bob"})", "Bob"},
      {R"({"label":"Bob"})", "Bob"},
      {R"({"value":3,"label":""})", "3"},
      {R"({"value":3,"label":7})", "3"},
      {R"({"value":3,"label":{"text":"Sit"}})", "3"},
  };
  for (const auto &[settings, shown] : stored) {
    SCOPED_TRACE(settings);
    AppearOnDial(Action::Emote, "e", settings);
    EXPECT_EQ(TakeMessages().at(0)["payload"]["value"], shown);
    Event("willDisappear", Action::Emote, "e");
  }
}

TEST_F(Dial, StripTextsComeFromTheLocalizerWithEnglishFallback) {
  Json::Value table;
  table["Change Avatar"] = "Avatar wechseln";
  table["On air"] = "Auf Sendung";
  const Localizer german(table);
  plugin.SetLocalizer(&german);
  AppearOnDial(Action::ChangeAvatar, "a");
  AppearOnDial(Action::Pose, "p", R"({"value":3})");
  AppearOnDial(Action::Broadcast, "b");
  TakeMessages();
  plugin.ApplyBroadcastState(true);
  plugin.ApplyBroadcastState(false);
  plugin.ApplyPoseState(true, 3);
  AppearOnDial(Action::ChangeAvatar, "a2");
  const auto sent = TakeMessages();
  ASSERT_EQ(sent.size(), 4u);
  ExpectFeedback(sent[0], "b", R"({"value":"Auf Sendung"})");
  ExpectFeedback(sent[1], "b", R"({"value":"Off air"})");
  ExpectFeedback(sent[2], "p", R"({"value":"Active"})");
  ExpectFeedback(sent[3], "a2", R"({"title":"Avatar wechseln","value":""})");
}

TEST_F(Dial, ListIsKeptAndEveryDialOfItsActionNamesItsItem) {
  AppearOnDial(Action::ChangeAvatar, "bob", R"({"value":"bob-2"})");
  AppearOnDial(Action::ChangeAvatar, "gone", R"({"value":"Dave"})");
  AppearOnDial(Action::ChangeAvatar, "none");
  AppearOnDial(Action::Pose, "other-action", R"({"value":4})");
  AppearOnKey(Action::ChangeAvatar, "key", R"({"value":"Alice"})");
  Event("propertyInspectorDidAppear", Action::ChangeAvatar, "key");
  TakeMessages();
  List(Action::ChangeAvatar, kAvatars);
  const auto sent = TakeMessages();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0]["event"].asString(), "sendToPropertyInspector") << "inspectors come first";
  EXPECT_EQ(sent[0]["context"].asString(), "key");
  EXPECT_EQ(sent[0]["payload"], Parse(kAvatars));
  std::set<std::string> shown;
  for (std::size_t i = 1; i < sent.size(); ++i) {
    const Json::Value &payload = sent[i]["payload"];
    shown.insert(sent[i]["context"].asString() + "=" + payload["value"].asString() + " at " +
                 payload["indicator"].asString());
    // The thumbnails under C:\z cannot be read here: the action's own picture.
    EXPECT_EQ(payload["icon"], "images/encoders/changeavatar.png");
    EXPECT_EQ(payload.size(), 3u);
  }
  // An entry stands where it is in the list; a value that no entry has at 0.
  EXPECT_EQ(shown, (std::set<std::string>{"bob=Bob at 50", "gone=Dave at 0", "none= at 0"}));

  // The kept list names the item from then on: on appearing and on new settings.
  AppearOnDial(Action::ChangeAvatar, "carol", R"({"value":"Carol"})");
  Event("didReceiveSettings", Action::ChangeAvatar, "none",
        R"({"controller":"Encoder","settings":{"value":"Alice","image":"/nonexistent.png"}})");
  const auto later = TakeMessages();
  ASSERT_EQ(later.size(), 2u);
  ExpectFeedback(later[0], "carol",
                 R"({"icon":"images/encoders/changeavatar.png","title":"Change Avatar",)"
                 R"("value":"Carol","indicator":100})");
  ExpectFeedback(later[1], "none",
                 R"({"icon":"images/encoders/changeavatar.png","value":"Alice","indicator":0})");

  // A list that fails its checks is neither forwarded nor kept.
  List(Action::ChangeAvatar, R"({"listType":"avatar","itemList":["Zed"]})");
  EXPECT_TRUE(TakeMessages().empty());
  Turn(Action::ChangeAvatar, "bob", "1");
  EXPECT_EQ(TakeMessages().at(1)["payload"]["value"].asString(), "Carol");
}

TEST_F(Dial, TurningMovesThroughTheListWithWrapAroundAndStoresTheValue) {
  AppearOnDial(Action::ChangeAvatar, "d", R"({"image":"k.png","other":[1],"label":"old"})");
  List(Action::ChangeAvatar, kAvatars); // Alice, Bob (bob-2), Carol
  TakeMessages();
  TakeCommands();
  struct Landed {
    std::string value;
    std::string text;
    std::string indicator;
  };
  const std::pair<std::string, Landed> turns[] = {
      {"1", {"Alice", "Alice", "0"}},           {"1", {"bob-2", "Bob", "50"}},
      {"5", {"Alice", "Alice", "0"}},           {"-1", {"Carol", "Carol", "100"}},
      {"-7", {"bob-2", "Bob", "50"}},           {"2147483647", {"Carol", "Carol", "100"}},
      {"-2147483648", {"Alice", "Alice", "0"}}, {"3.0", {"Alice", "Alice", "0"}},
  };
  for (const auto &[ticks, expected] : turns) {
    SCOPED_TRACE(ticks);
    Turn(Action::ChangeAvatar, "d", ticks);
    const auto sent = TakeMessages();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0]["event"].asString(), "setSettings");
    EXPECT_EQ(sent[0]["context"].asString(), "d");
    const Json::Value settings = Parse(R"({"image":"k.png","other":[1],"value":")" +
                                       expected.value + R"(","label":")" + expected.text + R"("})");
    EXPECT_EQ(sent[0]["payload"], settings);
    EXPECT_EQ(Stored(Action::ChangeAvatar, "d"), settings);
    // The thumbnails under C:\z cannot be read here: the action's own picture.
    ExpectFeedback(sent[1], "d",
                   R"({"icon":"images/encoders/changeavatar.png","value":")" + expected.text +
                       R"(","indicator":)" + expected.indicator + "}");
  }
  EXPECT_TRUE(TakeCommands().empty()) << "turning sends no command";
}

TEST_F(Dial, FirstTurnFromNoCurrentItemLandsByItsDirection) {
  List(Action::Pose, kPoses); // Wave (4), Sit (1), Bow (9)
  const std::pair<std::string, std::string> cases[] = {{"1", "4"},  {"2", "1"},  {"4", "4"},
                                                       {"-1", "9"}, {"-3", "4"}, {"-5", "1"}};
  for (const auto &[ticks, value] : cases) {
    SCOPED_TRACE(ticks);
    AppearOnDial(Action::Pose, "p", R"({"value":"not in the list"})");
    TakeMessages();
    Turn(Action::Pose, "p", ticks);
    EXPECT_EQ(TakeMessages().at(0)["payload"]["value"], Parse(value)) << "a number, as stored";
    Event("willDisappear", Action::Pose, "p");
  }
}

// 0 at the first entry, 100 at the last, in proportion between, rounded to
// the nearest whole number.
TEST_F(Dial, TheIndicatorStandsWhereTheEntryIsInItsList) {
  struct Case {
    std::size_t size;
    std::size_t position;
    int indicator;
  };
  const Case cases[] = {{1, 0, 0},   {2, 0, 0},      {2, 1, 100},    {3, 1, 50},
                        {7, 1, 17},  {7, 4, 67},     {200, 1, 1},    {200, 2, 1},
                        {200, 3, 2}, {200, 100, 50}, {200, 198, 99}, {200, 199, 100}};
  AppearOnDial(Action::Emote, "e");
  for (const Case &entry : cases) {
    SCOPED_TRACE(std::to_string(entry.position) + " of " + std::to_string(entry.size));
    std::string items;
    for (std::size_t i = 0; i < entry.size; ++i) {
      items += (i == 0 ? "\"" : ",\"") + std::to_string(i) + "\"";
    }
    List(Action::Emote, R"({"listType":"emote","imagePath":"C:\\e","itemList":[)" + items + "]}");
    Event("didReceiveSettings", Action::Emote, "e",
          R"({"controller":"Encoder","settings":{"value":")" + std::to_string(entry.position) +
              R"("}})");
    const Json::Value shown = TakeMessages().back()["payload"];
    EXPECT_EQ(shown["value"], std::to_string(entry.position));
    EXPECT_EQ(shown["indicator"], entry.indicator);
  }
}

TEST_F(Dial, TurningWithoutAListAsksForItAndSendsNothingElse) {
  AppearOnDial(Action::Emote, "e", R"({"value":"wave"})");
  TakeMessages();
  TakeCommands();
  Turn(Action::Emote, "e", "1");
  auto asked = TakeCommands();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].kind, FindKeyAction(Action::Emote)->listRequest);
  List(Action::Emote, R"({"listType":"emote","imagePath":"C:\\e","itemList":[null,""]})");
  TakeMessages();
  Turn(Action::Emote, "e", "1");
  EXPECT_EQ(TakeCommands().size(), 1u) << "a list without usable items is no list";
  List(Action::Emote, R"({"listType":"emote","imagePath":"C:\\e","itemList":["wave","nod"]})");
  Event("applicationDidTerminate", "", "", R"({"application":"Zorvane.exe"})");
  TakeMessages();
  Turn(Action::Emote, "e", "1");
  EXPECT_EQ(TakeCommands().size(), 1u) << "termination drops the lists";
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(Stored(Action::Emote, "e"), Parse(R"({"value":"wave"})"));
}

TEST_F(Dial, ARefreshAsksOnceForTheListOfEachActionWithADial) {
  AppearOnDial(Action::Emote, "e1");
  AppearOnDial(Action::Emote, "e2");
  AppearOnDial(Action::ChangeAvatar, "a");
  AppearOnKey(Action::ChangeAvatar, "key");
  AppearOnDial(Action::Broadcast, "b");
  AppearOnKey(Action::Idle, "idle-key");
  Event("propertyInspectorDidAppear", Action::ChangeAvatar, "key");
  Event("propertyInspectorDidAppear", Action::Idle, "idle-key");
  TakeMessages();
  TakeCommands();
  plugin.RequestListsForOpenInspectors();
  // Avatar once (its inspector asked), emote once for two dials, idle for its inspector.
  EXPECT_EQ(TakeCommandKinds(), (std::vector<std::uint32_t>{0x80006, 0x80009, 0x8000F}));
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Dial, BadTurnsAndDialEventsForKeysOrStrangersChangeNothing) {
  AppearOnDial(Action::Emote, "e", R"({"value":"wave"})");
  AppearOnDial(Action::Broadcast, "b");
  AppearOnDial(Action::Calibrate, "c");
  AppearOnKey(Action::Emote, "key", R"({"value":"wave"})");
  AppearOnDial(Action::Emote, "odd-settings", "[1]");
  List(Action::Emote, R"({"listType":"emote","imagePath":"C:\\e","itemList":["wave","nod"]})");
  TakeMessages();
  TakeCommands();
  for (const std::string ticks :
       {"0", "1.5", "\"1\"", "true", "null", "[1]", "2147483648", "-2147483649", "1e300"}) {
    Turn(Action::Emote, "e", ticks);
  }
  Event("dialRotate", Action::Emote, "e", R"({"settings":{}})");
  Event("dialRotate", Action::Emote, "e", R"([{"ticks":1}])");
  Event("dialRotate", Action::Emote, "e", R"("ticks")");
  for (const std::string event : {"dialRotate", "dialDown", "dialUp", "touchTap"}) {
    const std::string payload = R"({"ticks":1,"tapPos":[1,2],"hold":false})";
    Event(event, Action::Emote, "key", payload);
    Event(event, Action::Emote, "never-seen", payload);
    Event(event, "com.example.other.emote", "e", payload);
    Event(event, "", "e", payload);
    Event(event, Action::Broadcast, "b", R"({"ticks":1})");
    Event(event, Action::Calibrate, "c", R"({"ticks":-1})");
    Event(event, Action::Emote, "odd-settings", payload);
  }
  Event("dialDown", Action::Emote, "e", R"({"settings":{}})");
  EXPECT_TRUE(TakeMessages().empty());
  const auto pushed = TakeCommands();
  ASSERT_EQ(pushed.size(), 4u) << "only the broadcast and calibrate dials' pushes and taps";
  EXPECT_EQ(Stored(Action::Emote, "e"), Parse(R"({"value":"wave"})"));
  EXPECT_EQ(Stored(Action::Emote, "key"), Parse(R"({"value":"wave"})"));
}

TEST_F(Dial, PushAndTapSendWhatAKeyReleaseSends) {
  for (const KeyAction &action : kKeyActions) {
    SCOPED_TRACE(action.identifier);
    AppearOnKey(action.identifier, "key", R"({"value":7})");
    // The label is only for showing: the command comes from "value".
    AppearOnDial(action.identifier, "dial", R"({"value":7,"label":"Seven"})");
    TakeCommands();
    Event("keyUp", action.identifier, "key");
    Event("dialUp", action.identifier, "dial", R"({"settings":{"value":1}})");
    Event("touchTap", action.identifier, "dial", R"({"tapPos":[10,20],"hold":true})");
    Event("dialDown", action.identifier, "dial");
    const auto sent = TakeCommands();
    ASSERT_EQ(sent.size(), 3u);
    for (const RecordedCommand &command : sent) {
      EXPECT_EQ(command.kind, sent[0].kind);
      EXPECT_EQ(command.text, sent[0].text);
    }
    EXPECT_EQ(sent[0].kind, action.keyCommand);
    TakeMessages();
  }
}

TEST_F(Dial, TurnThenPushAppliesTheChosenItem) {
  AppearOnDial(Action::SpecialAction, "s");
  List(Action::SpecialAction,
       R"({"listType":"special_action","itemList":["Jump",{"name":"Spin","value":" 12 "}]})");
  TakeCommands();
  Turn(Action::SpecialAction, "s", "2");
  Event("dialUp", Action::SpecialAction, "s");
  const auto sent = TakeCommands();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].kind, CommandKind::SpecialAction);
  EXPECT_EQ(sent[0].text, "{\"value1\":12}\n");
}

TEST_F(Dial, StatesShowOnDialsAsTextAndOnKeysAsBefore) {
  AppearOnKey(Action::Broadcast, "bk");
  AppearOnDial(Action::Broadcast, "bd");
  AppearOnKey(Action::Pose, "pk", R"({"value":4})");
  AppearOnDial(Action::Pose, "pd", R"({"value":4})");
  AppearOnDial(Action::Pose, "other-pose", R"({"value":5})");
  AppearOnDial(Action::Quickslot, "qd", R"({"value":"1","image":"/nonexistent.png"})");
  TakeMessages();
  plugin.ApplyBroadcastState(true);
  plugin.ApplyPoseState(false, 4);
  plugin.ApplyQuickslotState("1", true);
  Event("applicationDidTerminate", "", "", R"({"application":"Zorvane.exe"})");
  std::vector<std::string> frames;
  for (const Json::Value &message : TakeMessages()) {
    const std::string event = message["event"].asString();
    frames.push_back(message["context"].asString() + " " + event + " " +
                     (event == "setState" ? message["payload"]["state"].asString()
                                          : message["payload"]["value"].asString()));
  }
  // Order within one notification follows the store; compare per notification.
  ASSERT_EQ(frames.size(), 7u);
  EXPECT_EQ((std::set<std::string>(frames.begin(), frames.begin() + 2)),
            (std::set<std::string>{"bk setState 1", "bd setFeedback On air"}));
  EXPECT_EQ((std::set<std::string>(frames.begin() + 2, frames.begin() + 4)),
            (std::set<std::string>{"pk setState 0", "pd setFeedback Inactive"}));
  EXPECT_EQ((std::set<std::string>(frames.begin() + 4, frames.end())),
            (std::set<std::string>{"bk setState 0", "bd setFeedback Off air", "pk setState 0"}))
      << "a pose dial keeps its text, a pose key goes off";
}

class DialWithThumbnails : public Dial {
protected:
  TemporaryFolder folder{"dial-thumbnails"};

  // Copies a file of tests/platform/pictures/ into the folder as `name`.
  void Copy(const std::string &picture, const std::string &name) {
    std::filesystem::copy_file(std::string(ZORVANE_TEST_PICTURES) + "/" + picture,
                               folder.Path() + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
  }
  // What the strip shows for the file `name` of the folder: the picture that
  // the platform makes of it for the built-in layouts, else the action's own.
  std::string Icon(const std::string &name) const {
    const std::string png = platform::MakeStripPicture(folder.Path() + "/" + name, 48);
    if (png.empty()) {
      return "images/encoders/quickslot.png";
    }
    return "data:image/png;base64," +
           Base64Encode(reinterpret_cast<const unsigned char *>(png.data()),
                        static_cast<std::uint32_t>(png.size()));
  }
  std::string ListOf(const std::string &items) const {
    return R"({"listType":"quickslot","imagePath":)" + WriteJsonString(folder.Path()) +
           R"(,"itemList":[)" + items + "]}";
  }
  // The icon of each frame sent so far, by context, then forgets them.
  std::vector<std::string> TakeIcons() {
    std::vector<std::string> icons;
    for (const Json::Value &message : TakeMessages()) {
      if (message["event"] == "setFeedback") {
        icons.push_back(message["context"].asString() + " " +
                        message["payload"]["icon"].asString());
      }
    }
    return icons;
  }
};

TEST_F(DialWithThumbnails, EveryReadableThumbnailIsShownScaledElseTheActionsPicture) {
  const std::pair<std::string, std::string> files[] = {
      {"png_rgb.png", "rgb.png"},         {"jpeg_progressive.jpg", "photo.png"},
      {"gif_animated.gif", "gif.gif"},    {"png_interlaced.png", "interlaced.png"},
      {"truncated.png", "truncated.png"}, {"png_claims_60000.png", "huge.png"},
      {"text.png", "text.png"},           {"bmp_24bit.bmp", "bmp.bmp"},
  };
  std::string items;
  std::vector<std::string> icons;
  for (const auto &[picture, name] : files) {
    Copy(picture, name);
    items += R"({"name":")" + name + R"(","id":")" + name + R"("},)";
    icons.push_back("q " + Icon(name));
  }
  // A missing file and a folder: the action's own picture.
  items += R"("missing",{"name":"Folder","thumb":)" + WriteJsonString(folder.Path()) + "}";
  icons.insert(icons.end(), 2, "q " + Icon("missing"));
  AppearOnDial(Action::Quickslot, "q", R"({"value":"rgb.png"})");
  TakeMessages();
  List(Action::Quickslot, ListOf(items));
  EXPECT_EQ(TakeIcons(), std::vector<std::string>{"q " + Icon("missing")})
      << "not made yet: the action's own picture";
  MakePictures();
  EXPECT_EQ(TakeIcons(), std::vector<std::string>{icons[0]}) << "the awaited picture, once made";
  std::vector<std::string> shown;
  for (std::size_t turn = 1; turn <= icons.size(); ++turn) {
    Turn(Action::Quickslot, "q", "1");
    const std::vector<std::string> sent = TakeIcons();
    shown.insert(shown.end(), sent.begin(), sent.end());
  }
  std::rotate(icons.begin(), icons.begin() + 1, icons.end());
  EXPECT_EQ(shown, icons) << "each turn finds its entry's picture made";
}

// A turn reads no file: pictures are made once per list. A new list of the
// same files makes them afresh, as the files may have changed.
TEST_F(DialWithThumbnails, PicturesAreMadeOncePerListAndAfreshForANewList) {
  Copy("png_rgb.png", "a.png");
  Copy("jpeg_baseline.jpg", "b.png");
  const std::string list = ListOf(R"("a","b")");
  AppearOnDial(Action::Quickslot, "q", R"({"value":"a"})");
  List(Action::Quickslot, list);
  MakePictures();
  const std::string a = "q " + Icon("a.png");
  const std::string b = "q " + Icon("b.png");
  Copy("png_interlaced.png", "a.png");
  Copy("text.png", "b.png");
  TakeMessages();
  Turn(Action::Quickslot, "q", "1");
  Turn(Action::Quickslot, "q", "1");
  MakePictures();
  EXPECT_EQ(TakeIcons(), (std::vector<std::string>{b, a})) << "as made before the files changed";
  List(Action::Quickslot, list);
  EXPECT_EQ(TakeIcons(), std::vector<std::string>{"q images/encoders/quickslot.png"});
  MakePictures();
  const std::string remade = "q " + Icon("a.png");
  EXPECT_NE(remade, a);
  EXPECT_EQ(TakeIcons(), std::vector<std::string>{remade});
}

TEST_F(Dial, ItemsWithoutThumbnailsLeaveTheIconAlone) {
  AppearOnDial(Action::Pose, "p");
  List(Action::Pose, R"({"listType":"pose","itemList":["Sit","Stand"]})");
  TakeMessages();
  Turn(Action::Pose, "p", "1");
  EXPECT_FALSE(TakeMessages().at(1)["payload"].isMember("icon"));
}

// Lists and states arrive on the main thread while dial events arrive on the
// session worker; run under ThreadSanitizer, this finds a data race between them.
TEST_F(Dial, NotificationsAndDialEventsMayComeFromTwoThreads) {
  AppearOnDial(Action::Emote, "e");
  AppearOnDial(Action::Broadcast, "b");
  std::thread notifications([this] {
    for (int i = 0; i < 200; ++i) {
      List(Action::Emote, R"({"listType":"emote","imagePath":"C:\\e","itemList":["a","b","c"]})");
      plugin.ApplyBroadcastState(i % 2 == 0);
    }
  });
  for (int i = 0; i < 200; ++i) {
    Turn(Action::Emote, "e", i % 3 == 0 ? "-1" : "1");
    Event("dialUp", Action::Emote, "e");
    Event("didReceiveSettings", Action::Emote, "e", R"({"settings":{"value":"b"}})");
  }
  notifications.join();
  Turn(Action::Emote, "e", "1");
  EXPECT_EQ(Stored(Action::Emote, "e"), Parse(R"({"value":"c","label":"c"})"));
}

// Holds the first frame that a thread other than the test's sends, at the
// point where it would leave, until the test releases it.
class FrameGate {
public:
  void AtSend() {
    std::unique_lock<std::mutex> lock(mMutex);
    if (std::this_thread::get_id() == mTestThread || mHeld) {
      return;
    }
    mHeld = true;
    mChanged.notify_all();
    mChanged.wait(lock, [this] { return mReleased; });
  }
  void WaitUntilHeld() {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [this] { return mHeld; });
  }
  void Release() {
    const std::lock_guard<std::mutex> lock(mMutex);
    mReleased = true;
    mChanged.notify_all();
  }

private:
  const std::thread::id mTestThread = std::this_thread::get_id();
  std::mutex mMutex;
  std::condition_variable mChanged;
  bool mHeld = false;
  bool mReleased = false;
};

// A list arrives on the main thread while the session worker turns the dial;
// the first frame of one side is held where it would leave while the other
// side runs to its end. Whichever side is held, the strip's last frame names
// the entry of the dial's last settings, as the latest list names it.
TEST_F(Dial, WhenAListMeetsATurnTheStripsLastFrameNamesTheEntryOfItsLastSettings) {
  const char before[] = R"({"listType":"emote","imagePath":"C:\\e",)"
                        R"("itemList":["a",{"name":"Bee","id":"b"}]})";
  const char after[] = R"({"listType":"emote","imagePath":"C:\\e",)"
                       R"("itemList":["a",{"name":"Bea","id":"b"}]})";
  const std::function<void()> list = [&] { List(Action::Emote, after); };
  const std::function<void()> turn = [this] { Turn(Action::Emote, "e", "1"); };
  for (const bool holdTheList : {true, false}) {
    SCOPED_TRACE(holdTheList ? "the list's frame held" : "the turn's frame held");
    AppearOnDial(Action::Emote, "e", R"({"value":"a"})");
    List(Action::Emote, before);
    TakeMessages();
    FrameGate gate;
    session.beforeRecording = [&gate](const std::string &) { gate.AtSend(); };
    std::thread heldSide(holdTheList ? list : turn);
    gate.WaitUntilHeld();
    (holdTheList ? turn : list)();
    gate.Release();
    heldSide.join();
    session.beforeRecording = nullptr;
    Json::Value settings;
    Json::Value shown;
    for (const Json::Value &message : TakeMessages()) {
      (message["event"] == "setSettings" ? settings : shown) = message["payload"];
    }
    EXPECT_EQ(settings["value"], "b");
    EXPECT_EQ(shown["value"], "Bea");
    Event("willDisappear", Action::Emote, "e");
  }
}

} // namespace
