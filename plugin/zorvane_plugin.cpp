#include "plugin/zorvane_plugin.h"

#include "desktop/command_sender.h"
#include "desktop/key_actions.h"
#include "plugin/key_images.h"
#include "streamdeck/base64.h"
#include "streamdeck/localizer.h"
#include "streamdeck/plugin_channel.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

// A settings member as text, the JSON library's conversion: strings as they
// are, numbers and booleans written out, missing or null as empty.
std::string SettingText(const cContextRecord &record, const char *member) {
  return record.settings[member].asString();
}

// The stored "value" as the property inspector compares it with a list's
// values; empty when there is none.
std::string StoredValueText(const Json::Value &settings) {
  return settings.isObject() ? JavaScriptText(settings["value"]) : std::string();
}

// The position of the item whose value is `stored`; -1 when none is.
std::int64_t FindItem(const ItemList &list, const std::string &stored) {
  if (!stored.empty()) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i].valueText == stored) {
        return static_cast<std::int64_t>(i);
      }
    }
  }
  return -1;
}

// The list position that a turn of `ticks` lands on, wrapping around: from
// no current item, the first turn forward reaches the first item and the
// first turn back the last one.
std::size_t TurnedPosition(std::int64_t current, std::int32_t ticks, std::size_t size) {
  const auto n = static_cast<std::int64_t>(size);
  std::int64_t position = ticks;
  if (current >= 0) {
    position += current;
  } else if (ticks > 0) {
    position -= 1;
  }
  return static_cast<std::size_t>((position % n + n) % n);
}

// A turn's "ticks": a non-zero integer in the 32-bit range, or nothing.
bool ReadTicks(const Json::Value &payload, std::int32_t &ticks) {
  if (!payload.isObject()) {
    return false;
  }
  const Json::Value &member = payload["ticks"];
  if (!member.isInt() || member.asInt() == 0) {
    return false;
  }
  ticks = member.asInt();
  return true;
}

// A thumbnail on the strip stays small, so that a fast turn stays cheap.
constexpr std::size_t kMaxThumbnailBytes = 64 * 1024;

// The thumbnail as a PNG data URL; empty when it is no readable PNG file of
// at most kMaxThumbnailBytes.
std::string ThumbnailDataUrl(const std::string &path) {
  if (path.empty()) {
    return std::string();
  }
  const FileBytes png = ReadSmallPngFile(path, kMaxThumbnailBytes);
  if (png.size == 0) {
    return std::string();
  }
  return "data:image/png;base64," +
         Base64Encode(png.data.get(), static_cast<std::uint32_t>(png.size));
}

// Whether any item of the list names a thumbnail file.
bool NamesThumbnails(const ItemList &list) {
  for (const ListItem &item : list) {
    if (!item.thumbnailFile.empty()) {
      return true;
    }
  }
  return false;
}

// The item's text as the strip's "value" and, where the list names
// thumbnails, an "icon" that goes with it: the item's thumbnail, else the
// action's own picture, so the strip never keeps another item's thumbnail.
// A list without thumbnails leaves the icon alone.
void ShowItem(const KeyAction &action, const ItemList &list, const ListItem *item,
              Json::Value &feedback) {
  if (item != nullptr) {
    feedback["value"] = item->text;
  }
  std::string icon = item != nullptr ? ThumbnailDataUrl(item->thumbnailFile) : std::string();
  if (icon.empty() && NamesThumbnails(list)) {
    icon = DialIconFile(action);
  }
  if (!icon.empty()) {
    feedback["icon"] = std::move(icon);
  }
}

} // namespace

std::string DialIconFile(const KeyAction &action) {
  const std::string_view name = action.identifier.substr(action.identifier.rfind('.') + 1);
  return "images/encoders/" + std::string(name) + ".png";
}

void cZorvanePlugin::Enqueue(std::unique_ptr<const cCommand> command) {
  if (command && mCommands != nullptr) {
    mCommands->EnqueueCommand(std::move(command));
  }
}

std::string cZorvanePlugin::Localize(std::string_view english) const {
  return mLocalizer != nullptr ? mLocalizer->Localize(english) : std::string(english);
}

// The dial's current item: the element of its action's current list whose
// value is stored; without a list, or when none is, the stored value as text.
void cZorvanePlugin::ShowCurrentItem(const KeyAction &action, const cContextRecord &record,
                                     Json::Value &feedback) const {
  const std::string stored = StoredValueText(record.settings);
  feedback["value"] = stored;
  if (const std::shared_ptr<const ItemList> list = mLists.Find(record.action)) {
    const std::int64_t current = FindItem(*list, stored);
    ShowItem(action, *list, current >= 0 ? &(*list)[static_cast<std::size_t>(current)] : nullptr,
             feedback);
  }
}

void cZorvanePlugin::SetDialValue(const cContextRecord &record, const std::string &value) {
  Json::Value feedback(Json::objectValue);
  feedback["value"] = value;
  mChannel->SetFeedback(std::move(feedback), record.context);
}

// A key shows the image file of its settings; a dial of a known action shows
// its current item on the strip, under the action's name when it appears.
void cZorvanePlugin::ShowOnKeyOrDial(const cContextRecord &record, bool withTitle) {
  if (!record.IsEncoder()) {
    SetKeyImageFromFile(mChannel, record.context, SettingText(record, "image"));
    return;
  }
  const KeyAction *keyAction = FindKeyAction(record.action);
  if (mChannel == nullptr || keyAction == nullptr) {
    return;
  }
  Json::Value feedback(Json::objectValue);
  if (withTitle) {
    feedback["title"] = Localize(keyAction->name);
  }
  ShowCurrentItem(*keyAction, record, feedback);
  mChannel->SetFeedback(std::move(feedback), record.context);
}

void cZorvanePlugin::OnKeyDown(const std::string &, const std::string &, const Json::Value &,
                               const std::string &) {}

void cZorvanePlugin::OnKeyUp(const std::string &action, const std::string &context,
                             const Json::Value &, const std::string &) {
  if (const KeyAction *keyAction = FindKeyAction(action)) {
    Enqueue(MakeKeyCommand(*keyAction, mStore.Find(context, action).settings));
  }
}

void cZorvanePlugin::OnWillAppear(const std::string &action, const std::string &context,
                                  const Json::Value &payload, const std::string &) {
  mStore.Add(context, action, payload);
  const cContextRecord record = mStore.Find(context, action);
  ShowOnKeyOrDial(record, true);
  if (record.IsEncoder()) {
    // So that the strip can name the item, the dial asks for its action's list.
    if (const KeyAction *keyAction = FindKeyAction(action)) {
      Enqueue(MakeListRequest(*keyAction));
    }
  }
}

void cZorvanePlugin::OnWillDisappear(const std::string &action, const std::string &context,
                                     const Json::Value &, const std::string &) {
  mStore.Remove(context, action);
}

void cZorvanePlugin::OnPropertyInspectorDidAppear(const std::string &action,
                                                  const std::string &context, const std::string &) {
  // Counted before the request goes out, so that the answer finds this inspector open.
  mStore.UpdateInspectorCount(context, action, true);
  if (const KeyAction *keyAction = FindKeyAction(action)) {
    Enqueue(MakeListRequest(*keyAction));
  }
}

void cZorvanePlugin::OnPropertyInspectorDidDisappear(const std::string &action,
                                                     const std::string &context,
                                                     const std::string &) {
  mStore.UpdateInspectorCount(context, action, false);
}

void cZorvanePlugin::OnDeviceDidConnect(const std::string &, const Json::Value &) {}

void cZorvanePlugin::OnDeviceDidDisconnect(const std::string &) {}

void cZorvanePlugin::OnApplicationDidLaunch(const std::string &) {}

void cZorvanePlugin::OnApplicationDidTerminate(const std::string &) {
  mLists.DropAll();
  if (mChannel == nullptr) {
    return;
  }
  Json::Value appDidClose(Json::objectValue);
  appDidClose["appDidClose"] = true;
  for (const cContextRecord &record : mStore.GetWithOpenInspector()) {
    mChannel->SendToPropertyInspector(record.action, record.context, appDidClose);
  }
  for (const std::string_view action : {Action::Broadcast, Action::Pose}) {
    for (const cContextRecord &record : mStore.GetByAction(action)) {
      if (!record.IsEncoder()) {
        mChannel->SetState(0, record.context);
      } else if (action == Action::Broadcast) {
        SetDialValue(record, Localize("Off air"));
      }
    }
  }
}

void cZorvanePlugin::OnDidReceiveSettings(const std::string &action, const std::string &context,
                                          const Json::Value &payload, const std::string &) {
  mStore.UpdateSettings(context, action, payload);
  ShowOnKeyOrDial(mStore.Find(context, action), false);
}

// The plug-in takes no message from its property inspectors.
void cZorvanePlugin::OnSendToPlugin(const std::string &, const std::string &, const Json::Value &,
                                    const std::string &) {}

void cZorvanePlugin::OnDialDown(const std::string &, const std::string &, const Json::Value &,
                                const std::string &) {}

// Pushing a dial or tapping its strip does what releasing a key of the same
// action does: the command from the stored settings.
void cZorvanePlugin::PushDial(const std::string &action, const std::string &context) {
  const KeyAction *keyAction = FindKeyAction(action);
  if (keyAction == nullptr) {
    return;
  }
  const cContextRecord record = mStore.Find(context, action);
  if (record.IsEncoder()) {
    Enqueue(MakeKeyCommand(*keyAction, record.settings));
  }
}

void cZorvanePlugin::OnDialUp(const std::string &action, const std::string &context,
                              const Json::Value &, const std::string &) {
  PushDial(action, context);
}

void cZorvanePlugin::OnTouchTap(const std::string &action, const std::string &context,
                                const Json::Value &, const std::string &) {
  PushDial(action, context);
}

void cZorvanePlugin::OnDialRotate(const std::string &action, const std::string &context,
                                  const Json::Value &payload, const std::string &) {
  const KeyAction *keyAction = FindKeyAction(action);
  std::int32_t ticks = 0;
  if (keyAction == nullptr || !keyAction->HasList() || !ReadTicks(payload, ticks)) {
    return;
  }
  const cContextRecord record = mStore.Find(context, action);
  if (record.IsEncoder()) {
    TurnDial(*keyAction, record, ticks);
  }
}

// Turning moves the dial's choice through its action's current list: the
// chosen item becomes the stored "value", shown on the strip. No command
// goes out; without a list the dial asks for it again.
void cZorvanePlugin::TurnDial(const KeyAction &keyAction, const cContextRecord &record,
                              std::int32_t ticks) {
  const std::shared_ptr<const ItemList> list = mLists.Find(record.action);
  if (list == nullptr || list->empty()) {
    Enqueue(MakeListRequest(keyAction));
    return;
  }
  if (!record.settings.isObject() && !record.settings.isNull()) {
    return;
  }
  const ListItem &item = (*list)[TurnedPosition(FindItem(*list, StoredValueText(record.settings)),
                                                ticks, list->size())];
  Json::Value settings =
      record.settings.isObject() ? record.settings : Json::Value(Json::objectValue);
  settings["value"] = item.value;
  mStore.ReplaceSettings(record.context, record.action, settings);
  if (mChannel == nullptr) {
    return;
  }
  mChannel->SetSettings(std::move(settings), record.context);
  Json::Value feedback(Json::objectValue);
  ShowItem(keyAction, *list, &item, feedback);
  mChannel->SetFeedback(std::move(feedback), record.context);
}

// The desktop application's lists have changed: every open inspector asks
// again, and so does each list action with a dial, once, unless an inspector
// of that action already asked, so that no dial turns through a stale list.
void cZorvanePlugin::RequestListsForOpenInspectors() {
  const std::vector<cContextRecord> open = mStore.GetWithOpenInspector();
  for (const KeyAction &action : kKeyActions) {
    if (!action.HasList()) {
      continue;
    }
    bool asked = false;
    for (const cContextRecord &record : open) {
      if (record.action == action.identifier) {
        Enqueue(MakeListRequest(action));
        asked = true;
      }
    }
    if (!asked && HasDial(action)) {
      Enqueue(MakeListRequest(action));
    }
  }
}

bool cZorvanePlugin::HasDial(const KeyAction &action) const {
  for (const cContextRecord &record : mStore.GetByAction(action.identifier)) {
    if (record.IsEncoder()) {
      return true;
    }
  }
  return false;
}

void cZorvanePlugin::ApplyBroadcastState(bool on) {
  if (mChannel == nullptr) {
    return;
  }
  for (const cContextRecord &record : mStore.GetByAction(Action::Broadcast)) {
    if (record.IsEncoder()) {
      SetDialValue(record, Localize(on ? "On air" : "Off air"));
    } else {
      mChannel->SetState(on ? 1 : 0, record.context);
    }
  }
}

void cZorvanePlugin::ApplyPoseState(bool active, std::int32_t poseValue) {
  if (mChannel == nullptr) {
    return;
  }
  for (const cContextRecord &record : mStore.GetByAction(Action::Pose)) {
    try {
      if (record.GetValueAsInt() != poseValue) {
        continue;
      }
      if (record.IsEncoder()) {
        SetDialValue(record, Localize(active ? "Active" : "Inactive"));
      } else {
        mChannel->SetState(active ? 1 : 0, record.context);
      }
    } catch (const Json::Exception &) {
      // A key whose "value" is no integer names no pose; the others still follow.
    }
  }
}

void cZorvanePlugin::ApplyQuickslotState(const std::string &quickslotValue, bool flag) {
  if (!flag) {
    return;
  }
  for (const cContextRecord &record : mStore.GetByAction(Action::Quickslot)) {
    if (record.IsEncoder()) {
      continue; // a dial shows no image file
    }
    try {
      if (SettingText(record, "value") == quickslotValue) {
        SetKeyImageFromFile(mChannel, record.context, SettingText(record, "image"));
      }
    } catch (const Json::Exception &) {
      // A key whose settings cannot be read as text is skipped; the others still follow.
    }
  }
}

void cZorvanePlugin::ForwardListToInspectors(const std::string &action,
                                             const Json::Value &document) {
  if (mChannel != nullptr) {
    for (const cContextRecord &record : mStore.GetWithOpenInspector()) {
      if (record.action == action) {
        mChannel->SendToPropertyInspector(record.action, record.context, document);
      }
    }
  }
  KeepListForDials(action, document);
}

// The list becomes the action's current one, read once here, and every dial
// of the action shows its current item in it.
void cZorvanePlugin::KeepListForDials(const std::string &action, const Json::Value &document) {
  const KeyAction *keyAction = FindKeyAction(action);
  if (keyAction == nullptr || !keyAction->HasList()) {
    return;
  }
  mLists.Keep(action, std::make_shared<const ItemList>(
                          ReadListItems(document, keyAction->keyValue == KeyValue::Integer)));
  if (mChannel == nullptr) {
    return;
  }
  for (const cContextRecord &record : mStore.GetByAction(action)) {
    if (record.IsEncoder()) {
      Json::Value feedback(Json::objectValue);
      ShowCurrentItem(*keyAction, record, feedback);
      mChannel->SetFeedback(std::move(feedback), record.context);
    }
  }
}
