// The plug-in object: answers the Stream Deck events and keeps the record of
// the visible keys.
#pragma once

#include "plugin/context_store.h"
#include "streamdeck/base_plugin.h"

class cZorvanePlugin : public ESDBasePlugin {
public:
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

  const cContextStore &Store() const { return mStore; }

private:
  cContextStore mStore;
};
