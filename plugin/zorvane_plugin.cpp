#include "plugin/zorvane_plugin.h"

#include "desktop/command_sender.h"
#include "desktop/key_actions.h"
#include "plugin/key_images.h"
#include "streamdeck/plugin_channel.h"

#include <cstdint>
#include <string_view>
#include <utility>

namespace {

// A settings member as text, the JSON library's conversion: strings as they
// are, numbers and booleans written out, missing or null as empty.
std::string SettingText(const cContextRecord &record, const char *member) {
  return record.settings[member].asString();
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

} // namespace

void cZorvanePlugin::Enqueue(std::unique_ptr<const cCommand> command) {
  if (command && mCommands != nullptr) {
    mCommands->EnqueueCommand(std::move(command));
  }
}

void cZorvanePlugin::AskForList(const KeyAction &action) { Enqueue(MakeListRequest(action)); }

// A key shows the image file of its settings; a dial shows its entry on the
// strip, under the action's name when it appears.
void cZorvanePlugin::ShowOnKeyOrDial(const cContextRecord &record, bool withTitle) {
  if (record.IsEncoder()) {
    mStrips.Show(record, withTitle);
  } else {
    SetKeyImageFromFile(mChannel, record.context, SettingText(record, "image"));
  }
}

// The record of (context, action) when it is a dial of one of our actions.
std::optional<cContextRecord> cZorvanePlugin::FindDial(const std::string &context,
                                                       const std::string &action) const {
  cContextRecord record = mStore.Find(context, action);
  if (!record.IsEncoder() || FindKeyAction(action) == nullptr) {
    return std::nullopt;
  }
  return record;
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
  const KeyAction *keyAction = FindKeyAction(action);
  if (record.IsEncoder() && keyAction != nullptr) {
    // So that the strip can name the entry, the dial asks for its action's list.
    AskForList(*keyAction);
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
    AskForList(*keyAction);
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
  mStrips.DropLists();
  if (mChannel == nullptr) {
    return;
  }
  Json::Value appDidClose(Json::objectValue);
  appDidClose["appDidClose"] = true;
  for (const cContextRecord &record : mStore.GetWithOpenInspector()) {
    mChannel->SendToPropertyInspector(record.action, record.context, appDidClose);
  }
  for (const std::string_view action : {Action::Broadcast, Action::Pose}) {
    for (const cContextRecord &key : mStore.GetByAction(action, Controller::Keypad)) {
      mChannel->SetState(0, key.context);
    }
  }
  mStrips.ShowClosed();
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
  if (const std::optional<cContextRecord> dial = FindDial(context, action)) {
    Enqueue(MakeKeyCommand(*FindKeyAction(action), dial->settings));
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

// Turning chooses an entry of the action's list without sending a command;
// without a list the dial asks for it again.
void cZorvanePlugin::OnDialRotate(const std::string &action, const std::string &context,
                                  const Json::Value &payload, const std::string &) {
  const KeyAction *keyAction = FindKeyAction(action);
  std::int32_t ticks = 0;
  if (keyAction == nullptr || !keyAction->dial.turns || !ReadTicks(payload, ticks)) {
    return;
  }
  const std::optional<cContextRecord> dial = FindDial(context, action);
  if (dial && !mStrips.Turn(*dial, ticks)) {
    AskForList(*keyAction);
  }
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
        AskForList(action);
        asked = true;
      }
    }
    if (!asked && HasDial(action)) {
      AskForList(action);
    }
  }
}

bool cZorvanePlugin::HasDial(const KeyAction &action) const {
  return !mStore.GetByAction(action.identifier, Controller::Encoder).empty();
}

void cZorvanePlugin::ApplyBroadcastState(bool on) {
  if (mChannel == nullptr) {
    return;
  }
  for (const cContextRecord &key : mStore.GetByAction(Action::Broadcast, Controller::Keypad)) {
    mChannel->SetState(on ? 1 : 0, key.context);
  }
  mStrips.ShowState(*FindKeyAction(Action::Broadcast), on, std::nullopt);
}

void cZorvanePlugin::ApplyPoseState(bool active, std::int32_t poseValue) {
  if (mChannel == nullptr) {
    return;
  }
  for (const cContextRecord &key : mStore.GetByAction(Action::Pose, Controller::Keypad)) {
    try {
      if (key.GetValueAsInt() == poseValue) {
        mChannel->SetState(active ? 1 : 0, key.context);
      }
    } catch (const Json::Exception &) {
      // A key whose "value" is no integer names no pose; the others still follow.
    }
  }
  mStrips.ShowState(*FindKeyAction(Action::Pose), active, poseValue);
}

// A dial shows no image file: only keys follow the quick slot.
void cZorvanePlugin::ApplyQuickslotState(const std::string &quickslotValue, bool flag) {
  if (!flag) {
    return;
  }
  for (const cContextRecord &key : mStore.GetByAction(Action::Quickslot, Controller::Keypad)) {
    try {
      if (SettingText(key, "value") == quickslotValue) {
        SetKeyImageFromFile(mChannel, key.context, SettingText(key, "image"));
      }
    } catch (const Json::Exception &) {
      // A key whose settings cannot be read as text is skipped; the others still follow.
    }
  }
}

// Every open inspector of the action gets the list, and it becomes the
// current list of the action's dials.
void cZorvanePlugin::ForwardListToInspectors(const std::string &action,
                                             const Json::Value &document) {
  if (mChannel != nullptr) {
    for (const cContextRecord &record : mStore.GetWithOpenInspector()) {
      if (record.action == action) {
        mChannel->SendToPropertyInspector(record.action, record.context, document);
      }
    }
  }
  const KeyAction *keyAction = FindKeyAction(action);
  if (keyAction != nullptr && keyAction->dial.turns) {
    mStrips.KeepList(*keyAction, document);
  }
}
