// The plug-in's key actions, one row each: what a key release sends, which
// list the action's property inspector asks for, how that list comes back,
// and what the action shows on a dial. Everything the plug-in and the
// notification decoding know about an action is derived from this table, so
// a new action is one new row.
#pragma once

#include "desktop/commands.h"
#include "desktop/notification_decoding.h"

#include <json/json.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

// What a dial of the action shows on its touch strip under the action's name.
struct DialFace {
  // Whether turning the dial goes through the action's list; the strip then
  // names the chosen entry.
  bool turns;
  // The strip's value while the desktop application reports the action's
  // state on, and off; empty for an action whose state the strip does not show.
  std::string_view onText;
  std::string_view offText;

  bool ShowsState() const { return !onText.empty(); }
};

// The dials of the rows below: the action's name alone; an entry of its list;
// an entry and whether that pose is active; whether the desktop application
// is on air.
inline constexpr DialFace kDialShowsName{false, {}, {}};
inline constexpr DialFace kDialTurns{true, {}, {}};
inline constexpr DialFace kDialTurnsAndShowsActive{true, "Active", "Inactive"};
inline constexpr DialFace kDialShowsOnAir{false, "On air", "Off air"};

// What a key release reads from the key's settings "value".
enum class KeyValue {
  None,    // nothing: the command has no value
  Integer, // the JSON library's integer conversion; missing or null is 0
  Text,    // the JSON library's text conversion; empty sends nothing
};

struct KeyAction {
  // The action's identifier in the manifest and in every event, compared byte for byte.
  std::string_view identifier;
  // The action's English name, as the manifest and the inspector's actions.js
  // give it; a dial's strip shows its translation as the title.
  std::string_view name;
  std::uint32_t keyCommand;
  KeyValue keyValue;
  // The list request and the notification kind of the answer; 0 for an
  // action whose property inspector shows no list.
  std::uint32_t listRequest;
  std::uint32_t listKind;
  // The "listType" that a list of this action carries; null without a list.
  const char *listType;
  // Whether a list must also carry a non-empty "imagePath" for its items.
  bool listItemsHaveImagePath;
  DialFace dial;

  bool HasList() const { return listRequest != 0; }
};

// A refresh asks for the lists in the order of these rows.
inline constexpr KeyAction kKeyActions[] = {
    {"com.brimcove.zorvaneplugin.broadcast", "Broadcast", CommandKind::Broadcast, KeyValue::None, 0,
     0, nullptr, false, kDialShowsOnAir},
    {"com.brimcove.zorvaneplugin.calibrate", "Calibrate", CommandKind::Calibrate, KeyValue::None, 0,
     0, nullptr, false, kDialShowsName},
    {"com.brimcove.zorvaneplugin.changeavatar", "Change Avatar", CommandKind::ChangeAvatar,
     KeyValue::Text, CommandKind::GetAvatarList, NotificationKind::AvatarList, "avatar", true,
     kDialTurns},
    {"com.brimcove.zorvaneplugin.changebackground", "Change Background",
     CommandKind::ChangeBackground, KeyValue::Text, CommandKind::GetBackgroundList,
     NotificationKind::BackgroundList, "background", true, kDialTurns},
    {"com.brimcove.zorvaneplugin.emote", "Emote", CommandKind::Emote, KeyValue::Text,
     CommandKind::GetEmoteList, NotificationKind::EmoteList, "emote", true, kDialTurns},
    {"com.brimcove.zorvaneplugin.specialaction", "Special Action", CommandKind::SpecialAction,
     KeyValue::Integer, CommandKind::GetSpecialActionList, NotificationKind::SpecialActionList,
     "special_action", false, kDialTurns},
    {"com.brimcove.zorvaneplugin.pose", "Pose", CommandKind::Pose, KeyValue::Integer,
     CommandKind::GetPoseList, NotificationKind::PoseList, "pose", false, kDialTurnsAndShowsActive},
    {"com.brimcove.zorvaneplugin.quickslot", "Quick Slot", CommandKind::Quickslot, KeyValue::Text,
     CommandKind::GetQuickslotList, NotificationKind::QuickslotList, "quickslot", true, kDialTurns},
    {"com.brimcove.zorvaneplugin.idle", "Idle Animation", CommandKind::Idle, KeyValue::Integer,
     CommandKind::GetIdleList, NotificationKind::IdleList, "idle", false, kDialTurns},
};

// The identifier of the row whose key release sends keyCommand. The
// constants below are computed while compiling, so naming a command that no
// row sends fails the build.
constexpr std::string_view KeyActionIdentifier(std::uint32_t keyCommand) {
  for (const KeyAction &action : kKeyActions) {
    if (action.keyCommand == keyCommand) {
      return action.identifier;
    }
  }
  throw std::logic_error("no key action sends this command");
}

// The actions that code names: the plug-in's key states follow three of
// them, and the tests name each.
namespace Action {
inline constexpr std::string_view Broadcast = KeyActionIdentifier(CommandKind::Broadcast);
inline constexpr std::string_view Calibrate = KeyActionIdentifier(CommandKind::Calibrate);
inline constexpr std::string_view SpecialAction = KeyActionIdentifier(CommandKind::SpecialAction);
inline constexpr std::string_view Pose = KeyActionIdentifier(CommandKind::Pose);
inline constexpr std::string_view Emote = KeyActionIdentifier(CommandKind::Emote);
inline constexpr std::string_view Quickslot = KeyActionIdentifier(CommandKind::Quickslot);
inline constexpr std::string_view ChangeAvatar = KeyActionIdentifier(CommandKind::ChangeAvatar);
inline constexpr std::string_view ChangeBackground =
    KeyActionIdentifier(CommandKind::ChangeBackground);
inline constexpr std::string_view Idle = KeyActionIdentifier(CommandKind::Idle);
} // namespace Action

// The row of an action identifier, compared byte for byte; null for any other.
const KeyAction *FindKeyAction(std::string_view identifier);

// The command of a key release from the key's settings; null when a text
// value is empty. Throws the JSON library's error when "value" cannot be
// converted.
std::unique_ptr<const cCommand> MakeKeyCommand(const KeyAction &action,
                                               const Json::Value &settings);

// The list request of the action; null when it shows no list.
std::unique_ptr<const cCommand> MakeListRequest(const KeyAction &action);
