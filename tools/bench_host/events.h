// The events that the driver sends, as the Stream Deck application writes
// them: compact JSON with the key's action, context, device and payload.
#pragma once

#include <json/json.h>

#include <string>

namespace bench {

// A key at `position` on a 8 x 4 device with `settings`.
std::string WillAppearEvent(const std::string &action, const std::string &context, int position,
                            const Json::Value &settings);
std::string DidReceiveSettingsEvent(const std::string &action, const std::string &context,
                                    int position, const Json::Value &settings);
std::string KeyUpEvent(const std::string &action, const std::string &context, int position);
std::string KeyDownEvent(const std::string &action, const std::string &context, int position);
std::string WillDisappearEvent(const std::string &action, const std::string &context, int position,
                               const Json::Value &settings);

// propertyInspectorDidAppear or propertyInspectorDidDisappear.
std::string InspectorEvent(bool appeared, const std::string &action, const std::string &context);
// What a property inspector sends to the plug-in: {"request": `request`}.
std::string SendToPluginEvent(const std::string &action, const std::string &context,
                              const std::string &request);
// deviceDidConnect (with the device's description) or deviceDidDisconnect.
std::string DeviceEvent(bool connected);
// applicationDidLaunch or applicationDidTerminate for `application`.
std::string ApplicationEvent(bool launched, const std::string &application);

// Settings that name a key image file.
Json::Value ImageSettings(const std::string &path);

} // namespace bench
