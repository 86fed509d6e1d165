// The plug-in's key actions, one row each: what a key release sends, which
// list the action's property inspector asks for, and how that list comes
// back. Everything the plug-in and the notification decoding know about an
// action is derived from this table, so a new action is one new row.
#pragma once

#include "desktop/commands.h"
#include "desktop/notification_decoding.h"
#include "streamdeck/action_ids.h"

#include <json/json.h>

#include <cstdint>
#include <memory>
#include <string>

// What a key release reads from the key's settings "value".
enum class KeyValue {
  None,    // nothing: the command has no value
  Integer, // the JSON library's integer conversion; missing or null is 0
  Text,    // the JSON library's text conversion; empty sends nothing
};

struct KeyAction {
  const std::string &identifier;
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

  bool HasList() const { return listRequest != 0; }
};

// A refresh asks for the lists in the order of these rows.
inline constexpr KeyAction kKeyActions[] = {
    {Action::Broadcast, CommandKind::Broadcast, KeyValue::None, 0, 0, nullptr, false},
    {Action::Calibrate, CommandKind::Calibrate, KeyValue::None, 0, 0, nullptr, false},
    {Action::ChangeAvatar, CommandKind::ChangeAvatar, KeyValue::Text, CommandKind::GetAvatarList,
     NotificationKind::AvatarList, "avatar", true},
    {Action::ChangeBackground, CommandKind::ChangeBackground, KeyValue::Text,
     CommandKind::GetBackgroundList, NotificationKind::BackgroundList, "background", true},
    {Action::Emote, CommandKind::Emote, KeyValue::Text, CommandKind::GetEmoteList,
     NotificationKind::EmoteList, "emote", true},
    {Action::SpecialAction, CommandKind::SpecialAction, KeyValue::Integer,
     CommandKind::GetSpecialActionList, NotificationKind::SpecialActionList, "special_action",
     false},
    {Action::Pose, CommandKind::Pose, KeyValue::Integer, CommandKind::GetPoseList,
     NotificationKind::PoseList, "pose", false},
    {Action::Quickslot, CommandKind::Quickslot, KeyValue::Text, CommandKind::GetQuickslotList,
     NotificationKind::QuickslotList, "quickslot", true},
    {Action::Idle, CommandKind::Idle, KeyValue::Integer, CommandKind::GetIdleList,
     NotificationKind::IdleList, "idle", false},
};

// The row of an action identifier, compared byte for byte; null for any other.
const KeyAction *FindKeyAction(const std::string &identifier);

// The command of a key release from the key's settings; null when a text
// value is empty. Throws the JSON library's error when "value" cannot be
// converted.
std::unique_ptr<const cCommand> MakeKeyCommand(const KeyAction &action,
                                               const Json::Value &settings);

// The list request of the action; null when it shows no list.
std::unique_ptr<const cCommand> MakeListRequest(const KeyAction &action);
