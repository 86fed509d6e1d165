// The plug-in object: answers the Stream Deck events, keeps the record of the
// visible keys, and makes the keys follow the desktop application.
#pragma once

#include "desktop/notification_decoding.h"
#include "plugin/context_store.h"
#include "streamdeck/base_plugin.h"

#include <memory>

class cCommand;
class cCommandQueue;

class cZorvanePlugin : public ESDBasePlugin, public cNotificationReactions {
public:
  // Set once by start-up, before the session begins.
  void SetCommandQueue(cCommandQueue *commands) { mCommands = commands; }

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
  void ShowStoredImage(const std::string &context, const std::string &action);

  cContextStore mStore;
  cCommandQueue *mCommands = nullptr;
};
