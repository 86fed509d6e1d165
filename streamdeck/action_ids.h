// The identifiers of the plug-in's nine key actions, compared byte for byte.
#pragma once

#include <string>

namespace Action {
extern const std::string Broadcast;
extern const std::string Calibrate;
extern const std::string SpecialAction;
extern const std::string Pose;
extern const std::string Emote;
extern const std::string Quickslot;
extern const std::string ChangeAvatar;
extern const std::string ChangeBackground;
extern const std::string Idle;
} // namespace Action
