#include "messages.h"

#include "driver.h"
#include "streamdeck/json_text.h"

#include <algorithm>
#include <websocketpp/base64/base64.hpp>

namespace host_driver {

namespace {

const int kColumns = 8;
const char kDevice[] = "BENCHDEVICE0001";

Json::Value Message(const std::string &event, const std::string &action,
                    const std::string &context) {
  Json::Value message(Json::objectValue);
  message["event"] = event;
  message["action"] = action;
  message["context"] = context;
  message["device"] = kDevice;
  return message;
}

} // namespace

std::string KeyEvent(const std::string &event, const std::string &action,
                     const std::string &context, int position, const Json::Value &settings) {
  Json::Value message = Message(event, action, context);
  Json::Value &payload = message["payload"];
  payload["coordinates"]["column"] = position % kColumns;
  payload["coordinates"]["row"] = position / kColumns;
  payload["isInMultiAction"] = false;
  payload["settings"] = settings;
  if (event == "willAppear" || event == "willDisappear") {
    payload["controller"] = "Keypad";
  }
  if (event != "didReceiveSettings") {
    payload["state"] = 0;
  }
  return CompactJson(message);
}

std::string InspectorEvent(bool appeared, const std::string &action, const std::string &context) {
  return CompactJson(Message(
      appeared ? "propertyInspectorDidAppear" : "propertyInspectorDidDisappear", action, context));
}

std::string SendToPluginEvent(const std::string &action, const std::string &context,
                              const std::string &request) {
  Json::Value message = Message("sendToPlugin", action, context);
  message["payload"]["request"] = request;
  return CompactJson(message);
}

std::string DeviceEvent(bool connected) {
  Json::Value message(Json::objectValue);
  message["event"] = connected ? "deviceDidConnect" : "deviceDidDisconnect";
  message["device"] = kDevice;
  if (connected) {
    message["deviceInfo"]["name"] = "Stream Deck XL";
    message["deviceInfo"]["type"] = 2;
    message["deviceInfo"]["size"]["columns"] = kColumns;
    message["deviceInfo"]["size"]["rows"] = 4;
  }
  return CompactJson(message);
}

std::string ApplicationEvent(bool launched, const std::string &application) {
  Json::Value message(Json::objectValue);
  message["event"] = launched ? "applicationDidLaunch" : "applicationDidTerminate";
  message["payload"]["application"] = application;
  return CompactJson(message);
}

Json::Value ImageSettings(const std::string &path) {
  Json::Value settings(Json::objectValue);
  settings["image"] = path;
  return settings;
}

namespace {

// Reads `text` as a JSON object; null when it is none.
Json::Value ParseObject(const std::string &text) {
  Json::Value root;
  return ParseJsonText(text, root) && root.isObject() ? root : Json::Value();
}

std::string Member(const Json::Value &object, const char *name) {
  const Json::Value &value = object[name];
  return value.isString() ? value.asString() : std::string();
}

} // namespace

std::string RegistrationText(const std::string &registerEvent, const std::string &uuid) {
  Json::Value registration(Json::objectValue);
  registration["event"] = registerEvent;
  registration["uuid"] = uuid;
  return WriteStyledJson(registration);
}

std::string SetImageText(const std::string &context, const std::string &fileBytes) {
  Json::Value message(Json::objectValue);
  message["event"] = "setImage";
  message["context"] = context;
  message["payload"]["image"] = "data:image/png;base64," + websocketpp::base64_encode(fileBytes);
  message["payload"]["target"] = 0;
  return WriteStyledJson(message);
}

std::string Excerpt(const std::string &text) {
  const std::size_t kShown = 120;
  std::string shown = text.substr(0, kShown);
  std::replace(shown.begin(), shown.end(), '\n', ' ');
  return "\"" + shown + (text.size() > kShown ? "...\"" : "\"") + " (" +
         std::to_string(text.size()) + " bytes)";
}

std::string SetStateText(const std::string &context, int state) {
  Json::Value message(Json::objectValue);
  message["event"] = "setState";
  message["context"] = context;
  message["payload"]["state"] = state;
  return WriteStyledJson(message);
}

std::string InspectorText(const std::string &action, const std::string &context,
                          const Json::Value &payload) {
  Json::Value message(Json::objectValue);
  message["action"] = action;
  message["context"] = context;
  message["event"] = "sendToPropertyInspector";
  message["payload"] = payload;
  return WriteStyledJson(message);
}

std::size_t KeyOfEvent(std::size_t index, std::size_t keyCount) {
  std::uint64_t state = index;
  return static_cast<std::size_t>(NextRandom(state) % keyCount);
}

std::string DescribeMismatch(const std::string &expected, const std::string &received,
                             std::size_t index, std::size_t count) {
  const std::string where = "reply " + std::to_string(index + 1) + " of " + std::to_string(count);
  const Json::Value wanted = ParseObject(expected);
  const Json::Value got = ParseObject(received);
  const std::string wantedContext = Member(wanted, "context");
  if (Member(got, "event") != Member(wanted, "event")) {
    return where + ": expected a " + Member(wanted, "event") + " for key " + wantedContext +
           ", got " + Excerpt(received);
  }
  if (Member(got, "context") != wantedContext) {
    return where + ": expected the " + Member(wanted, "event") + " of key " + wantedContext +
           ", got the one of key " + Member(got, "context") +
           " (a reply lost, repeated or out of order)";
  }
  const auto difference =
      std::mismatch(expected.begin(), expected.end(), received.begin(), received.end());
  return where + ": the " + Member(wanted, "event") + " of key " + wantedContext +
         " differs from the expected text at byte " +
         std::to_string(difference.first - expected.begin()) + " (expected " +
         std::to_string(expected.size()) + " bytes, got " + std::to_string(received.size()) + ")";
}

} // namespace host_driver
