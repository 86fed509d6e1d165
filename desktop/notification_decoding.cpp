#include "desktop/notification_decoding.h"

#include "desktop/key_actions.h"
#include "streamdeck/json_text.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <vector>

namespace {

const Json::Value *MemberOfType(const Json::Value &document, const char *key,
                                Json::ValueType type) {
  const Json::Value &member = document[key];
  return member.type() == type ? &member : nullptr;
}

// A signed or unsigned integer, or a real without a fraction, within 32 bits.
bool ReadInt32(const Json::Value &value, std::int32_t &result) {
  double number = 0;
  if (value.isInt64()) {
    number = static_cast<double>(value.asInt64());
  } else if (value.isUInt64()) {
    number = static_cast<double>(value.asUInt64());
  } else if (value.type() == Json::realValue) {
    number = value.asDouble();
  } else {
    return false;
  }
  if (std::floor(number) != number || number < std::numeric_limits<std::int32_t>::min() ||
      number > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  result = static_cast<std::int32_t>(number);
  return true;
}

bool PassesListChecks(const Json::Value &document, const KeyAction &action) {
  const Json::Value *listType = MemberOfType(document, "listType", Json::stringValue);
  if (listType == nullptr || MemberOfType(document, "itemList", Json::arrayValue) == nullptr ||
      listType->asString() != action.listType) {
    return false;
  }
  if (!action.listItemsHaveImagePath) {
    return true;
  }
  const Json::Value *imagePath = MemberOfType(document, "imagePath", Json::stringValue);
  return imagePath != nullptr && !imagePath->asString().empty();
}

void DispatchDocument(std::uint32_t kind, const Json::Value &document,
                      cNotificationReactions &reactions) {
  if (kind == NotificationKind::BroadcastState) {
    if (const Json::Value *on = MemberOfType(document, "value1", Json::booleanValue)) {
      reactions.ApplyBroadcastState(on->asBool());
    }
    return;
  }
  if (kind == NotificationKind::PoseState) {
    const Json::Value *active = MemberOfType(document, "value1", Json::booleanValue);
    std::int32_t pose = 0;
    if (active != nullptr && ReadInt32(document["value2"], pose)) {
      reactions.ApplyPoseState(active->asBool(), pose);
    }
    return;
  }
  if (kind == NotificationKind::QuickslotState) {
    const Json::Value *value = MemberOfType(document, "value1", Json::stringValue);
    const Json::Value *flag = MemberOfType(document, "value2", Json::booleanValue);
    if (value != nullptr && flag != nullptr) {
      reactions.ApplyQuickslotState(value->asString(), flag->asBool());
    }
    return;
  }
  for (const KeyAction &action : kKeyActions) {
    if (action.HasList() && kind == action.listKind) {
      if (PassesListChecks(document, action)) {
        reactions.ForwardListToInspectors(std::string(action.identifier), document);
      }
      return;
    }
  }
}

} // namespace

std::string ExtractNotificationPayload(const platform::CopyData &data) {
  if (data.size == 0 || data.data == nullptr) {
    return std::string();
  }
  std::vector<char> buffer(data.size, '\0');
  const auto *bytes = static_cast<const char *>(data.data);
  std::copy(bytes, bytes + data.size - 1, buffer.begin());
  return std::string(buffer.data()); // up to the first NUL
}

bool ParseNotificationPayload(const std::string &text, Json::Value &document) {
  return !text.empty() && ParseJsonText(text, document) && document.isObject();
}

void DispatchNotification(std::uint32_t kind, const std::string &payload,
                          cNotificationReactions &reactions) {
  if (kind < NotificationKind::Refresh || kind > NotificationKind::IdleList) {
    return;
  }
  if (kind == NotificationKind::Refresh) {
    if (payload.empty()) {
      reactions.RequestListsForOpenInspectors();
    }
    return;
  }
  Json::Value document;
  if (ParseNotificationPayload(payload, document)) {
    DispatchDocument(kind, document, reactions);
  }
}

std::intptr_t HandleNotification(platform::WindowHandle sender, const platform::CopyData *data,
                                 platform::WindowHandle desktop,
                                 cNotificationReactions &reactions) {
  if (sender == nullptr || sender != desktop || data == nullptr) {
    return 0;
  }
  const auto kind = static_cast<std::uint32_t>(data->kind & 0xFFFFFFFFu);
  try {
    DispatchNotification(kind, ExtractNotificationPayload(*data), reactions);
  } catch (const std::exception &) {
    // A reaction that fails (no memory for a key image, a file system error)
    // loses this one notification; it is still answered as accepted, and the
    // message loop goes on with the next one.
  }
  return 1;
}
