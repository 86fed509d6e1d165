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

// Settings that name a key image file.
Json::Value ImageSettings(const std::string &path);

} // namespace bench
