// The plug-in's event interface: one operation for each Stream Deck event
// that the plug-in consumes, named after the event on the wire.
#pragma once

#include <json/json.h>

#include <string>

class ESDPluginChannel;

class ESDBasePlugin {
public:
  virtual ~ESDBasePlugin() = default;

  virtual void OnKeyDown(const std::string &action, const std::string &context,
                         const Json::Value &payload, const std::string &deviceID) = 0;
  virtual void OnKeyUp(const std::string &action, const std::string &context,
                       const Json::Value &payload, const std::string &deviceID) = 0;
  virtual void OnWillAppear(const std::string &action, const std::string &context,
                            const Json::Value &payload, const std::string &deviceID) = 0;
  virtual void OnWillDisappear(const std::string &action, const std::string &context,
                               const Json::Value &payload, const std::string &deviceID) = 0;
  virtual void OnPropertyInspectorDidAppear(const std::string &action, const std::string &context,
                                            const std::string &deviceID) = 0;
  virtual void OnPropertyInspectorDidDisappear(const std::string &action,
                                               const std::string &context,
                                               const std::string &deviceID) = 0;
  virtual void OnDeviceDidConnect(const std::string &deviceID, const Json::Value &deviceInfo) = 0;
  virtual void OnDeviceDidDisconnect(const std::string &deviceID) = 0;
  virtual void OnApplicationDidLaunch(const std::string &application) = 0;
  virtual void OnApplicationDidTerminate(const std::string &application) = 0;
  virtual void OnDidReceiveSettings(const std::string &action, const std::string &context,
                                    const Json::Value &payload, const std::string &deviceID) = 0;
  virtual void OnSendToPlugin(const std::string &action, const std::string &context,
                              const Json::Value &payload, const std::string &deviceID) = 0;

  // The events of an action placed on a dial (an encoder instance). The
  // payload is the event's "payload" object as it came (null when it is no
  // object): "settings" and "coordinates", for a turn "ticks" and "pressed",
  // for a tap "tapPos" and "hold".
  virtual void OnDialDown(const std::string &action, const std::string &context,
                          const Json::Value &payload, const std::string &deviceID) = 0;
  virtual void OnDialUp(const std::string &action, const std::string &context,
                        const Json::Value &payload, const std::string &deviceID) = 0;
  virtual void OnDialRotate(const std::string &action, const std::string &context,
                            const Json::Value &payload, const std::string &deviceID) = 0;
  virtual void OnTouchTap(const std::string &action, const std::string &context,
                          const Json::Value &payload, const std::string &deviceID) = 0;

  // Set once by start-up, before the session begins.
  void SetChannel(ESDPluginChannel *channel) { mChannel = channel; }

protected:
  ESDPluginChannel *mChannel = nullptr;
};
