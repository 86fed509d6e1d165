#include "messages.h"

#include "streamdeck/json_text.h"

#include <algorithm>
#include <cstdio>
#include <websocketpp/base64/base64.hpp>

namespace host_driver {
namespace {

const int kColumns = 8;
const char kDevice[] = "BENCHDEVICE0001";

Json::Value ToPlugin(const std::string &event, const std::string &context) {
  Json::Value message(Json::objectValue);
  message["event"] = event;
  message["context"] = context;
  return message;
}

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

Json::Value KeyMessage(const std::string &event, const std::string &action,
                       const std::string &context) {
  Json::Value message = ToPlugin(event, context);
  message["action"] = action;
  message["device"] = kDevice;
  return message;
}

std::string KeyEvent(const std::string &event, const std::string &action,
                     const std::string &context, int position, const Json::Value &settings) {
  Json::Value message = KeyMessage(event, action, context);
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

std::string DialEvent(const std::string &event, const std::string &action,
                      const std::string &context, int position, const Json::Value &settings,
                      int ticks) {
  Json::Value message = KeyMessage(event, action, context);
  Json::Value &payload = message["payload"];
  payload["controller"] = "Encoder";
  payload["coordinates"]["column"] = position;
  payload["coordinates"]["row"] = 0;
  payload["settings"] = settings;
  if (event == "dialRotate") {
    payload["ticks"] = ticks;
    payload["pressed"] = false;
  } else {
    payload["isInMultiAction"] = false;
  }
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

Json::Value ImageSettings(const std::string &path) {
  Json::Value settings(Json::objectValue);
  settings["image"] = path;
  return settings;
}

std::string RegistrationText(const std::string &registerEvent, const std::string &uuid) {
  Json::Value registration(Json::objectValue);
  registration["event"] = registerEvent;
  registration["uuid"] = uuid;
  return WriteStyledJson(registration);
}

std::string PngDataUrl(const std::string &fileBytes) {
  return "data:image/png;base64," + websocketpp::base64_encode(fileBytes);
}

std::string ToPluginText(const std::string &event, const std::string &context,
                         const Json::Value &payload) {
  Json::Value message = ToPlugin(event, context);
  message["payload"] = payload;
  return WriteStyledJson(message);
}

std::string SetImageText(const std::string &context, const std::string &fileBytes) {
  Json::Value payload(Json::objectValue);
  payload["image"] = PngDataUrl(fileBytes);
  payload["target"] = 0;
  return ToPluginText("setImage", context, payload);
}

std::string SetStateText(const std::string &context, int state) {
  Json::Value payload(Json::objectValue);
  payload["state"] = state;
  return ToPluginText("setState", context, payload);
}

std::string InspectorText(const std::string &action, const std::string &context,
                          const Json::Value &payload) {
  Json::Value message = ToPlugin("sendToPropertyInspector", context);
  message["action"] = action;
  message["payload"] = payload;
  return WriteStyledJson(message);
}

std::string KindText(std::uint64_t kind) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(kind));
  return text;
}

std::string Excerpt(const std::string &text) {
  const std::size_t kShown = 120;
  std::string shown = text.substr(0, kShown);
  std::replace(shown.begin(), shown.end(), '\n', ' ');
  return "\"" + shown + (text.size() > kShown ? "...\"" : "\"") + " (" +
         std::to_string(text.size()) + " bytes)";
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

void ReplyChecker::Expect(std::vector<const std::string *> texts) {
  const std::lock_guard<std::mutex> lock(mMutex);
  mExpected = std::move(texts);
  mReceived = 0;
}

void ReplyChecker::OnText(const std::string &text, Clock::time_point arrival) {
  const std::string *expected = nullptr;
  std::size_t index = 0;
  std::size_t count = 0;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    if (!mFault.empty()) {
      return;
    }
    index = mReceived;
    count = mExpected.size();
    if (index < count) {
      expected = mExpected[index];
    }
  }
  if (expected == nullptr) {
    SetFault("a message that nothing asked for arrived after the " + std::to_string(count) +
             " expected replies: " + Excerpt(text));
    return;
  }
  if (text != *expected) {
    SetFault(DescribeMismatch(*expected, text, index, count));
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    mReceived = index + 1;
    mLastArrival = arrival;
  }
  mChanged.notify_all();
}

void ReplyChecker::OnConnectionEnded() {
  std::size_t missing = 0;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    missing = mExpected.size() - mReceived;
  }
  if (missing > 0) {
    SetFault("the connection to the plug-in ended with " + std::to_string(missing) +
             " replies still missing");
  }
}

void ReplyChecker::WaitForCount(std::size_t count, std::chrono::milliseconds stallLimit) {
  std::unique_lock<std::mutex> lock(mMutex);
  std::size_t seen = mReceived;
  while (mFault.empty() && mReceived < count) {
    const bool progressed = mChanged.wait_for(lock, stallLimit, [this, seen, count] {
      return !mFault.empty() || mReceived >= count || mReceived != seen;
    });
    if (!progressed) {
      throw DriverFailure("reply " + std::to_string(mReceived + 1) + " of " +
                          std::to_string(mExpected.size()) + " did not arrive within " +
                          std::to_string(stallLimit.count()) + " ms (hang guard)");
    }
    seen = mReceived;
  }
  if (!mFault.empty()) {
    throw DriverFailure(mFault);
  }
}

std::size_t ReplyChecker::Received() const {
  const std::lock_guard<std::mutex> lock(mMutex);
  return mReceived;
}

Clock::time_point ReplyChecker::LastArrival() const {
  const std::lock_guard<std::mutex> lock(mMutex);
  return mLastArrival;
}

} // namespace host_driver
