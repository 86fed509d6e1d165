#include "plugin/zorvane_plugin.h"

#include "desktop/command_sender.h"
#include "desktop/key_actions.h"
#include "plugin/key_images.h"
#include "streamdeck/plugin_channel.h"

namespace {

// A settings member as text, the JSON library's conversion: strings as they
// are, numbers and booleans written out, missing or null as empty.
std::string SettingText(const cContextRecord &record, const char *member) {
  return record.settings[member].asString();
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
  if (const KeyAction *keyAction = FindKeyAction(action)) {
    Enqueue(MakeKeyCommand(*keyAction, mStore.Find(context, action).settings));
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

void cZorvanePlugin::OnDialDown(const std::string &, const std::string &, const Json::Value &,
                                const std::string &) {}

void cZorvanePlugin::OnDialUp(const std::string &, const std::string &, const Json::Value &,
                              const std::string &) {}

void cZorvanePlugin::OnDialRotate(const std::string &, const std::string &, const Json::Value &,
                                  const std::string &) {}

void cZorvanePlugin::OnTouchTap(const std::string &, const std::string &, const Json::Value &,
                                const std::string &) {}

void cZorvanePlugin::RequestListsForOpenInspectors() {
  const std::vector<cContextRecord> open = mStore.GetWithOpenInspector();
  for (const KeyAction &action : kKeyActions) {
    for (const cContextRecord &record : open) {
      if (action.HasList() && record.action == action.identifier) {
        Enqueue(MakeListRequest(action));
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
