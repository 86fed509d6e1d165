#include "plugin/zorvane_plugin.h"

void cZorvanePlugin::OnKeyDown(const std::string &, const std::string &, const Json::Value &,
                               const std::string &) {}

void cZorvanePlugin::OnKeyUp(const std::string &, const std::string &, const Json::Value &,
                             const std::string &) {}

void cZorvanePlugin::OnWillAppear(const std::string &action, const std::string &context,
                                  const Json::Value &payload, const std::string &) {
  mStore.Add(context, action, payload);
}

void cZorvanePlugin::OnWillDisappear(const std::string &action, const std::string &context,
                                     const Json::Value &, const std::string &) {
  mStore.Remove(context, action);
}

void cZorvanePlugin::OnPropertyInspectorDidAppear(const std::string &action,
                                                  const std::string &context, const std::string &) {
  mStore.UpdateInspectorCount(context, action, true);
}

void cZorvanePlugin::OnPropertyInspectorDidDisappear(const std::string &action,
                                                     const std::string &context,
                                                     const std::string &) {
  mStore.UpdateInspectorCount(context, action, false);
}

void cZorvanePlugin::OnDeviceDidConnect(const std::string &, const Json::Value &) {}

void cZorvanePlugin::OnDeviceDidDisconnect(const std::string &) {}

void cZorvanePlugin::OnApplicationDidLaunch(const std::string &) {}

void cZorvanePlugin::OnApplicationDidTerminate(const std::string &) {}

void cZorvanePlugin::OnDidReceiveSettings(const std::string &action, const std::string &context,
                                          const Json::Value &payload, const std::string &) {
  mStore.UpdateSettings(context, action, payload);
}

// The plug-in takes no message from its property inspectors.
void cZorvanePlugin::OnSendToPlugin(const std::string &, const std::string &, const Json::Value &,
                                    const std::string &) {}
