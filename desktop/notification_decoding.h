// The desktop application's notifications: accepted only from its own window,
// checked by kind, and handed to the plug-in's reactions.
#pragma once

#include "platform/platform.h"

#include <json/json.h>

#include <cstdint>
#include <string>

namespace NotificationKind {
constexpr std::uint32_t Refresh = 0x160000;
constexpr std::uint32_t BroadcastState = 0x160001;
constexpr std::uint32_t PoseState = 0x160002;
constexpr std::uint32_t AvatarList = 0x160003;
constexpr std::uint32_t BackgroundList = 0x160004;
constexpr std::uint32_t EmoteList = 0x160005;
constexpr std::uint32_t SpecialActionList = 0x160006;
constexpr std::uint32_t PoseList = 0x160007;
constexpr std::uint32_t QuickslotList = 0x160008;
constexpr std::uint32_t QuickslotState = 0x160009;
constexpr std::uint32_t IdleList = 0x16000A;
} // namespace NotificationKind

// What the plug-in does when the desktop application reports something.
class cNotificationReactions {
public:
  virtual ~cNotificationReactions() = default;
  virtual void RequestListsForOpenInspectors() = 0;
  virtual void ApplyBroadcastState(bool on) = 0;
  virtual void ApplyPoseState(bool active, std::int32_t poseValue) = 0;
  virtual void ApplyQuickslotState(const std::string &quickslotValue, bool flag) = 0;
  // A list that passed its action's checks: for the open inspectors of the
  // action, and for its dials.
  virtual void ForwardListToInspectors(const std::string &action, const Json::Value &document) = 0;
};

// The text of a notification: the counted bytes less the last one (the
// terminating NUL), up to the first NUL. Empty without data.
std::string ExtractNotificationPayload(const platform::CopyData &data);

// True when the text is a JSON object; it is then in `document`.
bool ParseNotificationPayload(const std::string &text, Json::Value &document);

// Routes one notification by its kind; anything that fails its checks is
// ignored without a word.
void DispatchNotification(std::uint32_t kind, const std::string &payload,
                          cNotificationReactions &reactions);

// The WM_COPYDATA handling of the notification window: accepted (1) only when
// the sender is the desktop application's window `desktop`, as the lookup
// found it just now, and a data structure came with it; refused (0) otherwise.
// A reaction that throws loses only that notification, which stays accepted.
std::intptr_t HandleNotification(platform::WindowHandle sender, const platform::CopyData *data,
                                 platform::WindowHandle desktop, cNotificationReactions &reactions);
