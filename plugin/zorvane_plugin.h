// The plug-in object: answers the Stream Deck events, keeps the record of the
// visible keys and dials, and makes them follow the desktop application.
#pragma once

#include "desktop/notification_decoding.h"
#include "plugin/context_store.h"
#include "plugin/current_lists.h"
#include "streamdeck/base_plugin.h"

#include <memory>
#include <string>
#include <string_view>

class cCommand;
class cCommandQueue;
class Localizer;
struct KeyAction;

// The action's own picture for a dial, as a file of the plug-in's folder
// ("images/encoders/<last part of the identifier>.png"): the manifest's
// encoder icon, which the strip goes back to for an item without a thumbnail.
std::string DialIconFile(const KeyAction &action);

class cZorvanePlugin : public ESDBasePlugin, public cNotificationReactions {
public:
  // Set once by start-up, before the session begins.
  void SetCommandQueue(cCommandQueue *commands) { mCommands = commands; }
  // Set once by start-up, before the session begins; without one the texts
  // on a dial's strip are English.
  void SetLocalizer(const Localizer *localizer) { mLocalizer = localizer; }

  void OnKeyDown(const std::string &action, const std::string &context, const Json::Value &payload,
                 const std::string &deviceID) override;
  void OnKeyUp(const std::string &action, const std::string &context, const Json::Value &payload,
               const std::string &deviceID) override;
  void OnWillAppear(const std::string &action, const std::string &context,
                    const Json::Value &payload, const std::string &deviceID) override;
  void OnWillDisappear(const std::string &action, const std::string &context,
                       const Json::Value &payload, const std::string &deviceID) override;
  void OnPropertyInspectorDidAppear(const std::string &action, const std::string &context,
                                    const std::string &deviceID) override;
  void OnPropertyInspectorDidDisappear(const std::string &action, const std::string &context,
                                       const std::string &deviceID) override;
  void OnDeviceDidConnect(const std::string &deviceID, const Json::Value &deviceInfo) override;
  void OnDeviceDidDisconnect(const std::string &deviceID) override;
  void OnApplicationDidLaunch(const std::string &application) override;
  void OnApplicationDidTerminate(const std::string &application) override;
  void OnDidReceiveSettings(const std::string &action, const std::string &context,
                            const Json::Value &payload, const std::string &deviceID) override;
  void OnSendToPlugin(const std::string &action, const std::string &context,
                      const Json::Value &payload, const std::string &deviceID) override;
  void OnDialDown(const std::string &action, const std::string &context, const Json::Value &payload,
                  const std::string &deviceID) override;
  void OnDialUp(const std::string &action, const std::string &context, const Json::Value &payload,
                const std::string &deviceID) override;
  void OnDialRotate(const std::string &action, const std::string &context,
                    const Json::Value &payload, const std::string &deviceID) override;
  void OnTouchTap(const std::string &action, const std::string &context, const Json::Value &payload,
                  const std::string &deviceID) override;

  void RequestListsForOpenInspectors() override;
  void ApplyBroadcastState(bool on) override;
  void ApplyPoseState(bool active, std::int32_t poseValue) override;
  void ApplyQuickslotState(const std::string &quickslotValue, bool flag) override;
  void ForwardListToInspectors(const std::string &action, const Json::Value &document) override;

  const cContextStore &Store() const { return mStore; }

private:
  void Enqueue(std::unique_ptr<const cCommand> command);
  void ShowOnKeyOrDial(const cContextRecord &record, bool withTitle);
  void PushDial(const std::string &action, const std::string &context);
  void TurnDial(const KeyAction &keyAction, const cContextRecord &record, std::int32_t ticks);
  bool HasDial(const KeyAction &action) const;
  void KeepListForDials(const std::string &action, const Json::Value &document);
  void SetDialValue(const cContextRecord &record, const std::string &value);
  std::string Localize(std::string_view english) const;
  void ShowCurrentItem(const KeyAction &action, const cContextRecord &record,
                       Json::Value &feedback) const;

  cContextStore mStore;
  cCurrentLists mLists;
  cCommandQueue *mCommands = nullptr;
  const Localizer *mLocalizer = nullptr;
};
