#include "plugin/zorvane_plugin.h"

#include "desktop/command_sender.h"
#include "plugin/key_images.h"
#include "streamdeck/action_ids.h"
#include "streamdeck/plugin_channel.h"

namespace {

// The list actions in the order in which a refresh asks for their lists.
const std::string *const kListActions[] = {
    &Action::ChangeAvatar, &Action::ChangeBackground, &Action::Emote, &Action::SpecialAction,
    &Action::Pose,         &Action::Quickslot,        &Action::Idle,
};

// The list request of an action whose property inspector shows a list; null
// for the others.
std::unique_ptr<const cCommand> MakeListRequest(const std::string &action) {
  if (action == Action::ChangeAvatar) {
    return std::make_unique<cCommandGetAvatarList>();
  }
  if (action == Action::ChangeBackground) {
    return std::make_unique<cCommandGetBackgroundList>();
  }
  if (action == Action::Emote) {
    return std::make_unique<cCommandGetEmoteList>();
  }
  if (action == Action::SpecialAction) {
    return std::make_unique<cCommandGetSpecialActionList>();
  }
  if (action == Action::Pose) {
    return std::make_unique<cCommandGetPoseList>();
  }
  if (action == Action::Quickslot) {
    return std::make_unique<cCommandGetQuickslotList>();
  }
  if (action == Action::Idle) {
    return std::make_unique<cCommandGetIdleList>();
  }
  return nullptr;
}

// A settings member as text, the JSON library's conversion: strings as they
// are, numbers and booleans written out, missing or null as empty.
std::string SettingText(const cContextRecord &record, const char *member) {
  return record.settings[member].asString();
}

// The command of a key release, built from the key's stored settings; null
// when the action sends nothing.
std::unique_ptr<const cCommand> MakeKeyCommand(const std::string &action,
                                               const cContextRecord &record) {
  if (action == Action::Broadcast) {
    return std::make_unique<cCommandBroadcast>();
  }
  if (action == Action::Calibrate) {
    return std::make_unique<cCommandCalibrate>();
  }
  if (action == Action::SpecialAction) {
    return std::make_unique<cCommandSpecialAction>(record.GetValueAsInt());
  }
  if (action == Action::Pose) {
    return std::make_unique<cCommandPose>(record.GetValueAsInt());
  }
  if (action == Action::Idle) {
    return std::make_unique<cCommandIdle>(record.GetValueAsInt());
  }
  const std::string text = SettingText(record, "value");
  if (text.empty()) {
    return nullptr;
  }
  if (action == Action::Emote) {
    return std::make_unique<cCommandEmote>(text);
  }
  if (action == Action::Quickslot) {
    return std::make_unique<cCommandQuickslot>(text);
  }
  if (action == Action::ChangeAvatar) {
    return std::make_unique<cCommandChangeAvatar>(text);
  }
  if (action == Action::ChangeBackground) {
    return std::make_unique<cCommandChangeBackground>(text);
  }
  return nullptr;
}

bool IsKeyAction(const std::string &action) {
  for (const std::string *known :
       {&Action::Broadcast, &Action::Calibrate, &Action::SpecialAction, &Action::Pose,
        &Action::Emote, &Action::Quickslot, &Action::ChangeAvatar, &Action::ChangeBackground,
        &Action::Idle}) {
    if (action == *known) {
      return true;
    }
  }
  return false;
}

} // namespace

void cZorvanePlugin::Enqueue(std::unique_ptr<const cCommand> command) {
  if (command && mCommands != nullptr) {
    mCommands->EnqueueCommand(std::move(command));
  }
}

void cZorvanePlugin::ShowStoredImage(const std::string &context, const std::string &action) {
  const cContextRecord record = mStore.Find(context, action);
  SetKeyImageFromFile(mChannel, record.context, SettingText(record, "image"));
}

void cZorvanePlugin::OnKeyDown(const std::string &, const std::string &, const Json::Value &,
                               const std::string &) {}

void cZorvanePlugin::OnKeyUp(const std::string &action, const std::string &context,
                             const Json::Value &, const std::string &) {
  if (IsKeyAction(action)) {
    Enqueue(MakeKeyCommand(action, mStore.Find(context, action)));
  }
}

void cZorvanePlugin::OnWillAppear(const std::string &action, const std::string &context,
                                  const Json::Value &payload, const std::string &) {
  mStore.Add(context, action, payload);
  ShowStoredImage(context, action);
}

void cZorvanePlugin::OnWillDisappear(const std::string &action, const std::string &context,
                                     const Json::Value &, const std::string &) {
  mStore.Remove(context, action);
}

void cZorvanePlugin::OnPropertyInspectorDidAppear(const std::string &action,
                                                  const std::string &context, const std::string &) {
  // Counted before the request goes out, so that the answer finds this inspector open.
  mStore.UpdateInspectorCount(context, action, true);
  Enqueue(MakeListRequest(action));
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
  if (mChannel == nullptr) {
    return;
  }
  Json::Value appDidClose(Json::objectValue);
  appDidClose["appDidClose"] = true;
  for (const cContextRecord &record : mStore.GetWithOpenInspector()) {
    mChannel->SendToPropertyInspector(record.action, record.context, appDidClose);
  }
  for (const std::string *action : {&Action::Broadcast, &Action::Pose}) {
    for (const cContextRecord &record : mStore.GetByAction(*action)) {
      mChannel->SetState(0, record.context);
    }
  }
}

void cZorvanePlugin::OnDidReceiveSettings(const std::string &action, const std::string &context,
                                          const Json::Value &payload, const std::string &) {
  mStore.UpdateSettings(context, action, payload);
  ShowStoredImage(context, action);
}

// The plug-in takes no message from its property inspectors.
void cZorvanePlugin::OnSendToPlugin(const std::string &, const std::string &, const Json::Value &,
                                    const std::string &) {}

void cZorvanePlugin::RequestListsForOpenInspectors() {
  const std::vector<cContextRecord> open = mStore.GetWithOpenInspector();
  for (const std::string *action : kListActions) {
    for (const cContextRecord &record : open) {
      if (record.action == *action) {
        Enqueue(MakeListRequest(*action));
      }
    }
  }
}

void cZorvanePlugin::ApplyBroadcastState(bool on) {
  if (mChannel == nullptr) {
    return;
  }
  for (const cContextRecord &record : mStore.GetByAction(Action::Broadcast)) {
    mChannel->SetState(on ? 1 : 0, record.context);
  }
}

void cZorvanePlugin::ApplyPoseState(bool active, std::int32_t poseValue) {
  if (mChannel == nullptr) {
    return;
  }
  for (const cContextRecord &record : mStore.GetByAction(Action::Pose)) {
    try {
      if (record.GetValueAsInt() == poseValue) {
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
  if (mChannel == nullptr) {
    return;
  }
  for (const cContextRecord &record : mStore.GetWithOpenInspector()) {
    if (record.action == action) {
      mChannel->SendToPropertyInspector(record.action, record.context, document);
    }
  }
}
