// Inbound text is parsed once and routed by its "event" to exactly one
// operation, with the envelope fields read only when their JSON type fits.
#include "streamdeck/base_plugin.h"
#include "streamdeck/plugin_channel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace {

std::string Compact(const Json::Value &value) {
  Json::FastWriter writer;
  writer.omitEndingLineFeed();
  return writer.write(value);
}

// Records every call as one line: the operation and its arguments in order.
class RecordingPlugin : public ESDBasePlugin {
public:
  std::vector<std::string> calls;

  void OnKeyDown(const std::string &a, const std::string &c, const Json::Value &p,
                 const std::string &d) override {
    Record("keyDown", {a, c, Compact(p), d});
  }
  void OnKeyUp(const std::string &a, const std::string &c, const Json::Value &p,
               const std::string &d) override {
    Record("keyUp", {a, c, Compact(p), d});
  }
  void OnWillAppear(const std::string &a, const std::string &c, const Json::Value &p,
                    const std::string &d) override {
    Record("willAppear", {a, c, Compact(p), d});
  }
  void OnWillDisappear(const std::string &a, const std::string &c, const Json::Value &p,
                       const std::string &d) override {
    Record("willDisappear", {a, c, Compact(p), d});
  }
  void OnPropertyInspectorDidAppear(const std::string &a, const std::string &c,
                                    const std::string &d) override {
    Record("piAppear", {a, c, d});
  }
  void OnPropertyInspectorDidDisappear(const std::string &a, const std::string &c,
                                       const std::string &d) override {
    Record("piDisappear", {a, c, d});
  }
  void OnDeviceDidConnect(const std::string &d, const Json::Value &info) override {
    Record("deviceDidConnect", {d, Compact(info)});
  }
  void OnDeviceDidDisconnect(const std::string &d) override { Record("deviceDidDisconnect", {d}); }
  void OnApplicationDidLaunch(const std::string &app) override { Record("appLaunch", {app}); }
  void OnApplicationDidTerminate(const std::string &app) override { Record("appTerminate", {app}); }
  void OnDidReceiveSettings(const std::string &a, const std::string &c, const Json::Value &p,
                            const std::string &d) override {
    if (p.isObject() && p.isMember("explode")) {
      p["settings"]["value"].asInt(); // a conversion error, as a settings of the wrong type gives
    }
    ThrowAsAsked(p["throw"].asString());
    Record("didReceiveSettings", {a, c, Compact(p), d});
  }
  void OnSendToPlugin(const std::string &a, const std::string &c, const Json::Value &p,
                      const std::string &d) override {
    Record("sendToPlugin", {a, c, Compact(p), d});
  }
  void OnDialDown(const std::string &a, const std::string &c, const Json::Value &p,
                  const std::string &d) override {
    Record("dialDown", {a, c, Compact(p), d});
  }
  void OnDialUp(const std::string &a, const std::string &c, const Json::Value &p,
                const std::string &d) override {
    Record("dialUp", {a, c, Compact(p), d});
  }
  void OnDialRotate(const std::string &a, const std::string &c, const Json::Value &p,
                    const std::string &d) override {
    Record("dialRotate", {a, c, Compact(p), d});
  }
  void OnTouchTap(const std::string &a, const std::string &c, const Json::Value &p,
                  const std::string &d) override {
    Record("touchTap", {a, c, Compact(p), d});
  }

private:
  // The failures that reading a key image can meet.
  static void ThrowAsAsked(const std::string &what) {
    if (what == "bad_alloc") {
      throw std::bad_alloc();
    }
    if (what == "filesystem") {
      throw std::filesystem::filesystem_error("image", std::make_error_code(std::errc::io_error));
    }
    if (what == "system") {
      throw std::system_error(std::make_error_code(std::errc::too_many_files_open));
    }
  }

  void Record(const std::string &operation, const std::vector<std::string> &arguments) {
    std::string line = operation;
    for (const std::string &argument : arguments) {
      line += "|" + argument;
    }
    calls.push_back(line);
  }
};

class Dispatch : public ::testing::Test {
protected:
  RecordingPlugin plugin;
  ESDPluginChannel channel{"uuid", nullptr, &plugin};

  std::vector<std::string> Handle(const std::string &text) {
    plugin.calls.clear();
    channel.HandleMessage(text);
    return plugin.calls;
  }
};

using Calls = std::vector<std::string>;

TEST_F(Dispatch, RoutesEveryEventWithItsArgumentsInOrder) {
  const std::string envelope =
      R"("action":"A","context":"C","device":"D","payload":{"settings":{"value":1}})";
  const std::string payload = R"({"settings":{"value":1}})";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"keyDown", "keyDown|A|C|" + payload + "|D"},
      {"keyUp", "keyUp|A|C|" + payload + "|D"},
      {"willAppear", "willAppear|A|C|" + payload + "|D"},
      {"willDisappear", "willDisappear|A|C|" + payload + "|D"},
      {"propertyInspectorDidAppear", "piAppear|A|C|D"},
      {"propertyInspectorDidDisappear", "piDisappear|A|C|D"},
      {"deviceDidConnect", "deviceDidConnect|D|null"},
      {"deviceDidDisconnect", "deviceDidDisconnect|D"},
      {"applicationDidLaunch", "appLaunch|"},
      {"applicationDidTerminate", "appTerminate|"},
      {"didReceiveSettings", "didReceiveSettings|A|C|" + payload + "|D"},
      {"sendToPlugin", "sendToPlugin|A|C|" + payload + "|D"},
      {"dialDown", "dialDown|A|C|" + payload + "|D"},
      {"dialUp", "dialUp|A|C|" + payload + "|D"},
      {"dialRotate", "dialRotate|A|C|" + payload + "|D"},
      {"touchTap", "touchTap|A|C|" + payload + "|D"},
  };
  for (const auto &[event, expected] : cases) {
    EXPECT_EQ(Handle(R"({"event":")" + event + R"(",)" + envelope + "}"), Calls{expected}) << event;
  }
}

TEST_F(Dispatch, EventNamesMatchExactly) {
  for (const std::string event : {"keyup", "KeyUp", "keyUp ", " keyUp", "", "setImage", "dialup",
                                  "DialRotate", "dialPress", "touchtap", "setFeedback"}) {
    EXPECT_EQ(Handle(R"({"event":")" + event + R"(","context":"C"})"), Calls{}) << event;
  }
  EXPECT_EQ(Handle(R"({"event":7,"context":"C"})"), Calls{});
  EXPECT_EQ(Handle(R"({"context":"C"})"), Calls{});
}

TEST_F(Dispatch, WrongTypesReadAsEmptyOrNullAndAreNeverConverted) {
  EXPECT_EQ(Handle(R"({"event":"keyUp","action":1,"context":2,"device":true,"payload":[1]})"),
            Calls{"keyUp|||null|"});
  EXPECT_EQ(Handle(R"({"event":"keyUp","action":"A","context":"C","device":"D"})"),
            Calls{"keyUp|A|C|null|D"});
  EXPECT_EQ(Handle(R"({"event":"keyUp","payload":"text"})"), Calls{"keyUp|||null|"});
  EXPECT_EQ(Handle(R"({"event":"dialRotate","context":"C","payload":[{"ticks":1}]})"),
            Calls{"dialRotate||C|null|"});
}

TEST_F(Dispatch, EventSpecificFields) {
  EXPECT_EQ(Handle(R"({"event":"applicationDidTerminate","payload":{"application":"Z.exe"}})"),
            Calls{"appTerminate|Z.exe"});
  EXPECT_EQ(Handle(R"({"event":"applicationDidLaunch","payload":{"application":"Z.exe"}})"),
            Calls{"appLaunch|Z.exe"});
  EXPECT_EQ(Handle(R"({"event":"applicationDidTerminate","application":"Z.exe"})"),
            Calls{"appTerminate|"});
  EXPECT_EQ(Handle(R"({"event":"applicationDidTerminate","payload":{"application":3}})"),
            Calls{"appTerminate|"});
  EXPECT_EQ(Handle(R"({"event":"deviceDidConnect","device":"D","deviceInfo":{"type":0}})"),
            Calls{R"(deviceDidConnect|D|{"type":0})"});
  EXPECT_EQ(Handle(R"({"event":"deviceDidConnect","device":"D","deviceInfo":"x"})"),
            Calls{"deviceDidConnect|D|null"});
}

TEST_F(Dispatch, UnusableTextCallsNothing) {
  std::string tooDeep = R"({"event":"keyUp","payload":)";
  tooDeep += std::string(1001, '[') + std::string(1001, ']') + "}";
  for (const std::string &text :
       {std::string(), std::string("null"), std::string("[1,2]"), std::string("42"),
        std::string(R"({"event":"keyUp")"), std::string(R"({'event':'keyUp'})"),
        std::string(R"({"event":"keyUp","payload":{"a":NaN}})"), tooDeep}) {
    EXPECT_EQ(Handle(text), Calls{}) << text.substr(0, 40);
  }
}

TEST_F(Dispatch, AcceptedDialect) {
  EXPECT_EQ(Handle(R"({"event":"keyUp","context":"C"} trailing text)"), Calls{"keyUp||C|null|"});
  EXPECT_EQ(Handle("// comment\n{\"event\":\"keyUp\", /* c */ \"context\":\"C\"}"),
            Calls{"keyUp||C|null|"});
  EXPECT_EQ(Handle(R"({"event":"keyUp","context":"old","context":"new"})"),
            Calls{"keyUp||new|null|"});
  std::string deepButAllowed = R"({"event":"keyUp","payload":{"x":)";
  deepButAllowed += std::string(990, '[') + std::string(990, ']') + "}}";
  EXPECT_EQ(Handle(deepButAllowed).size(), 1u);
}

TEST_F(Dispatch, ConversionErrorInsideAnOperationDropsOnlyThatEvent) {
  EXPECT_EQ(Handle(R"({"event":"didReceiveSettings","payload":{"explode":1,"settings":[1]}})"),
            Calls{});
  EXPECT_EQ(Handle(R"({"event":"keyUp","context":"C"})"), Calls{"keyUp||C|null|"});
}

TEST_F(Dispatch, AnyFailureInsideAnOperationDropsOnlyThatEvent) {
  for (const char *failure : {"bad_alloc", "filesystem", "system"}) {
    SCOPED_TRACE(failure);
    EXPECT_EQ(Handle(std::string(R"({"event":"didReceiveSettings","payload":{"throw":")") +
                     failure + R"("}})"),
              Calls{});
    EXPECT_EQ(Handle(R"({"event":"keyUp","context":"C"})"), Calls{"keyUp||C|null|"});
  }
}

} // namespace
