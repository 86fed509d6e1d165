// Fuzz target: any notification from the desktop application's window. The
// first four bytes are the kind code, the rest the counted data. The plug-in
// has a few keys and dials of every kind, some with their inspector open, so
// that the reactions run too; a dial is then turned through the list that
// the notification may have left. A notification that fails its checks must reach no
// reaction; one that passes may only send and queue what fuzz_properties.h
// allows.
#include "desktop/key_actions.h"
#include "desktop/notification_decoding.h"
#include "fuzz/fuzz_properties.h"
#include "support/recorded_plugin.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

const char *const kKeys[] = {
    R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.pose","context":"p",)"
    R"("payload":{"settings":{"value":2}}})",
    R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.pose","context":"bad",)"
    R"("payload":{"settings":{"value":"x"}}})",
    R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.quickslot","context":"q",)"
    R"("payload":{"settings":{"value":"5","image":"/nonexistent.png"}}})",
    R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.broadcast","context":"b"})",
    R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.emote","context":"e"})",
    R"({"event":"propertyInspectorDidAppear","action":"com.brimcove.zorvaneplugin.emote",)"
    R"("context":"e"})",
    R"({"event":"propertyInspectorDidAppear","action":"com.brimcove.zorvaneplugin.pose",)"
    R"("context":"p"})",
    R"({"event":"propertyInspectorDidAppear","action":"com.brimcove.zorvaneplugin.broadcast",)"
    R"("context":"b"})",
    R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.emote","context":"ed",)"
    R"("payload":{"controller":"Encoder","settings":{"value":"Wave"}}})",
    R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.pose","context":"pd",)"
    R"("payload":{"controller":"Encoder","settings":{"value":2}}})",
    R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.broadcast","context":"bd",)"
    R"("payload":{"controller":"Encoder"}})",
};

// After the notification: every list dial turns once, through its action's
// list if the notification left one.
const char *const kTurns[] = {
    R"({"event":"dialRotate","action":"com.brimcove.zorvaneplugin.emote","context":"ed",)"
    R"("payload":{"controller":"Encoder","ticks":1}})",
    R"({"event":"dialRotate","action":"com.brimcove.zorvaneplugin.pose","context":"pd",)"
    R"("payload":{"controller":"Encoder","ticks":-1}})",
};

// The payload text as the desktop application means it: the counted bytes
// but the last (its terminating NUL), up to the first NUL.
std::string PayloadText(const std::uint8_t *data, std::size_t size) {
  if (size < 2) {
    return std::string();
  }
  const std::string counted(reinterpret_cast<const char *>(data), size - 1);
  return counted.substr(0, counted.find('\0'));
}

bool PassesListChecks(const Json::Value &document, const KeyAction &row) {
  const Json::Value &listType = document["listType"];
  const Json::Value &imagePath = document["imagePath"];
  return listType.isString() && listType.asString() == row.listType &&
         document["itemList"].isArray() &&
         (!row.listItemsHaveImagePath || (imagePath.isString() && !imagePath.asString().empty()));
}

// Whether a notification of this kind and payload passes its checks: a known
// kind; for a refresh no payload; for the others a JSON object with the
// members of its kind, each of exactly its JSON type (a pose a whole number
// within 32 bits); a list the word of its row and, where the row says so, an
// image path.
bool PassesChecks(std::uint32_t kind, const std::string &payload) {
  if (kind == NotificationKind::Refresh) {
    return payload.empty();
  }
  Json::Value document;
  if (!fuzz::ReadJson(Json::CharReaderBuilder(), payload, document) || !document.isObject()) {
    return false;
  }
  const Json::Value &value1 = document["value1"];
  const Json::Value &value2 = document["value2"];
  switch (kind) {
  case NotificationKind::BroadcastState:
    return value1.isBool();
  case NotificationKind::PoseState:
    return value1.isBool() && value2.isInt();
  case NotificationKind::QuickslotState:
    return value1.isString() && value2.isBool();
  default:
    break;
  }
  for (const KeyAction &row : kKeyActions) {
    if (row.HasList() && row.listKind == kind) {
      return PassesListChecks(document, row);
    }
  }
  return false;
}

std::string Describe(std::uint32_t kind, bool fromDesktop, const std::string &payload) {
  return "kind " + std::to_string(kind) + (fromDesktop ? "" : " from another window") + ": " +
         payload;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static int desktopWindow = 0;
  static int otherWindow = 0;
  RecordedPlugin recorded;
  fuzz::IntroducedContexts contexts;
  for (const char *key : kKeys) {
    contexts.AddFromEvent(key);
    recorded.channel.HandleMessage(key);
  }
  recorded.session.Clear();
  recorded.commands.Clear();

  std::uint32_t code = 0;
  if (size >= sizeof code) {
    std::memcpy(&code, data, sizeof code);
    data += sizeof code;
    size -= sizeof code;
  }
  // Kinds 0 to 11 above the first; one code in sixteen comes from a window
  // other than the desktop application's.
  const std::uint32_t kind = NotificationKind::Refresh + code % 12u;
  const bool fromDesktop = code / 12u % 16u != 15u;
  platform::CopyData copy;
  copy.kind = kind;
  copy.size = static_cast<std::uint32_t>(size);
  copy.data = size > 0 ? data : nullptr;
  const std::intptr_t answer = HandleNotification(fromDesktop ? &desktopWindow : &otherWindow,
                                                  &copy, &desktopWindow, recorded.plugin);

  const std::string payload = PayloadText(data, size);
  const std::string subject = Describe(kind, fromDesktop, payload);
  fuzz::Require(answer == (fromDesktop ? 1 : 0),
                "a notification is accepted exactly when the desktop application sent it", subject);
  if (!fromDesktop || !PassesChecks(kind, payload)) {
    fuzz::Require(recorded.session.Texts().empty() && recorded.commands.Commands().empty(),
                  "a notification that fails its checks reaches no reaction", subject);
  }
  fuzz::CheckSentAndQueued(recorded.session, recorded.commands, contexts);
  for (const char *turn : kTurns) {
    recorded.channel.HandleMessage(turn);
  }
  fuzz::CheckSentAndQueued(recorded.session, recorded.commands, contexts);
  return 0;
}
