#include "events.h"

namespace bench {
namespace {

const int kColumns = 8;
const char kDevice[] = "BENCHDEVICE0001";

std::string Compact(const Json::Value &value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

Json::Value KeyPayload(int position, const Json::Value &settings) {
  Json::Value payload(Json::objectValue);
  payload["coordinates"]["column"] = position % kColumns;
  payload["coordinates"]["row"] = position / kColumns;
  payload["isInMultiAction"] = false;
  payload["settings"] = settings;
  return payload;
}

std::string KeyEvent(const char *event, const std::string &action, const std::string &context,
                     const Json::Value &payload) {
  Json::Value message(Json::objectValue);
  message["event"] = event;
  message["action"] = action;
  message["context"] = context;
  message["device"] = kDevice;
  message["payload"] = payload;
  return Compact(message);
}

} // namespace

std::string WillAppearEvent(const std::string &action, const std::string &context, int position,
                            const Json::Value &settings) {
  Json::Value payload = KeyPayload(position, settings);
  payload["controller"] = "Keypad";
  payload["state"] = 0;
  return KeyEvent("willAppear", action, context, payload);
}

std::string DidReceiveSettingsEvent(const std::string &action, const std::string &context,
                                    int position, const Json::Value &settings) {
  return KeyEvent("didReceiveSettings", action, context, KeyPayload(position, settings));
}

std::string KeyUpEvent(const std::string &action, const std::string &context, int position) {
  Json::Value payload = KeyPayload(position, Json::Value(Json::objectValue));
  payload["state"] = 0;
  return KeyEvent("keyUp", action, context, payload);
}

std::string KeyDownEvent(const std::string &action, const std::string &context, int position) {
  Json::Value payload = KeyPayload(position, Json::Value(Json::objectValue));
  payload["state"] = 0;
  return KeyEvent("keyDown", action, context, payload);
}

std::string WillDisappearEvent(const std::string &action, const std::string &context, int position,
                               const Json::Value &settings) {
  Json::Value payload = KeyPayload(position, settings);
  payload["controller"] = "Keypad";
  payload["state"] = 0;
  return KeyEvent("willDisappear", action, context, payload);
}

std::string InspectorEvent(bool appeared, const std::string &action, const std::string &context) {
  Json::Value message(Json::objectValue);
  message["event"] = appeared ? "propertyInspectorDidAppear" : "propertyInspectorDidDisappear";
  message["action"] = action;
  message["context"] = context;
  message["device"] = kDevice;
  return Compact(message);
}

std::string SendToPluginEvent(const std::string &action, const std::string &context,
                              const std::string &request) {
  Json::Value payload(Json::objectValue);
  payload["request"] = request;
  return KeyEvent("sendToPlugin", action, context, payload);
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
  return Compact(message);
}

std::string ApplicationEvent(bool launched, const std::string &application) {
  Json::Value message(Json::objectValue);
  message["event"] = launched ? "applicationDidLaunch" : "applicationDidTerminate";
  message["payload"]["application"] = application;
  return Compact(message);
}

Json::Value ImageSettings(const std::string &path) {
  Json::Value settings(Json::objectValue);
  settings["image"] = path;
  return settings;
}

} // namespace bench
