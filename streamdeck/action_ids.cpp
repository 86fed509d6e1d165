#include "streamdeck/action_ids.h"

namespace Action {
const std::string Broadcast = "com.brimcove.zorvaneplugin.broadcast";
const std::string Calibrate = "com.brimcove.zorvaneplugin.calibrate";
const std::string SpecialAction = "com.brimcove.zorvaneplugin.specialaction";
const std::string Pose = "com.brimcove.zorvaneplugin.pose";
const std::string Emote = "com.brimcove.zorvaneplugin.emote";
const std::string Quickslot = "com.brimcove.zorvaneplugin.quickslot";
const std::string ChangeAvatar = "com.brimcove.zorvaneplugin.changeavatar";
const std::string ChangeBackground = "com.brimcove.zorvaneplugin.changebackground";
const std::string Idle = "com.brimcove.zorvaneplugin.idle";
} // namespace Action
