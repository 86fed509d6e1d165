// The plug-in object: answers the Stream Deck events, keeps the record of the
// visible keys and dials, and makes them follow the desktop application. What
// a dial's strip shows is the strips' (plugin/dial_strip.h): this object hands
// each event of a dial to them, and does for keys what keys need.
#pragma once

#include "desktop/notification_decoding.h"
#include "plugin/context_store.h"
#include "plugin/dial_strip.h"
#include "streamdeck/base_plugin.h"

#include <memory>
#include <optional>
#include <string>

class cCommand;
class cCommandQueue;
class Localizer;
struct KeyAction;

class cZorvanePlugin : public ESDBasePlugin, public cNotificationReactions {
public:
  // `pictureWorker`: who makes the pictures of the dials' strips; a thread of
  // their own, unless a test makes them with MakeWaitingPictures.
  explicit cZorvanePlugin(cStripPictures::Worker pictureWorker = cStripPictures::Worker::OwnThread)
      : mStrips(mStore, mChannel, pictureWorker) {}

  // Set once by start-up, before the session begins.
  void SetCommandQueue(cCommandQueue *commands) { mCommands = commands; }
  // Set once by start-up, before the session begins; without one the texts
  // on a dial's strip are English.
  void SetLocalizer(const Localizer *localizer) { mStrips.SetLocalizer(localizer); }

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
  // The session has ended: the strips make no more pictures.
  void StopMakingPictures() { mStrips.StopMakingPictures(); }
  void MakeWaitingPictures() { mStrips.MakeWaitingPictures(); }

private:
  void Enqueue(std::unique_ptr<const cCommand> command);
  void AskForList(const KeyAction &action);
  void ShowOnKeyOrDial(const cContextRecord &record, bool withTitle);
  std::optional<cContextRecord> FindDial(const std::string &context,
                                         const std::string &action) const;
  void PushDial(const std::string &action, const std::string &context);
  bool HasDial(const KeyAction &action) const;

  cContextStore mStore;
  cDialStrips mStrips;
  cCommandQueue *mCommands = nullptr;
};
