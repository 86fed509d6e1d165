#include "soak_script.h"

#include "events.h"

namespace bench {
namespace {

const std::string kPrefix = "com.brimcove.zorvaneplugin.";

// The command kinds that the desktop application receives.
constexpr std::uint64_t kBroadcast = 0x80000;
constexpr std::uint64_t kCalibrate = 0x80001;
constexpr std::uint64_t kSpecialAction = 0x80002;
constexpr std::uint64_t kPose = 0x80003;
constexpr std::uint64_t kChangeAvatar = 0x80004;
constexpr std::uint64_t kChangeBackground = 0x80005;
constexpr std::uint64_t kGetAvatarList = 0x80006;
constexpr std::uint64_t kGetBackgroundList = 0x80007;
constexpr std::uint64_t kEmote = 0x80008;
constexpr std::uint64_t kGetEmoteList = 0x80009;
constexpr std::uint64_t kGetSpecialActionList = 0x8000A;
constexpr std::uint64_t kGetPoseList = 0x8000B;
constexpr std::uint64_t kQuickslot = 0x8000C;
constexpr std::uint64_t kGetQuickslotList = 0x8000D;
constexpr std::uint64_t kIdle = 0x8000E;
constexpr std::uint64_t kGetIdleList = 0x8000F;

Json::Value Settings(const Json::Value &value, const std::string &image) {
  Json::Value settings(Json::objectValue);
  if (!value.isNull()) {
    settings["value"] = value;
  }
  if (!image.empty()) {
    settings["image"] = image;
  }
  return settings;
}

struct KeyRow {
  const char *action;
  const char *context;
  KeyValue value;
  std::uint64_t pressKind;
  std::uint64_t listRequestKind;
};

// One row per key; the settings to switch between are added below.
const KeyRow kKeys[] = {
    {"broadcast", "SOAKBROADCAST0", KeyValue::None, kBroadcast, 0},
    {"broadcast", "SOAKBROADCAST1", KeyValue::None, kBroadcast, 0},
    {"calibrate", "SOAKCALIBRATE", KeyValue::None, kCalibrate, 0},
    {"specialaction", "SOAKSPECIAL", KeyValue::Integer, kSpecialAction, kGetSpecialActionList},
    {"pose", "SOAKPOSE0", KeyValue::Integer, kPose, kGetPoseList},
    {"pose", "SOAKPOSE1", KeyValue::Integer, kPose, kGetPoseList},
    {"pose", "SOAKPOSE2", KeyValue::Integer, kPose, kGetPoseList},
    {"idle", "SOAKIDLE", KeyValue::Integer, kIdle, kGetIdleList},
    {"emote", "SOAKEMOTE", KeyValue::Text, kEmote, kGetEmoteList},
    {"quickslot", "SOAKQUICK0", KeyValue::Text, kQuickslot, kGetQuickslotList},
    {"quickslot", "SOAKQUICK1", KeyValue::Text, kQuickslot, kGetQuickslotList},
    {"changeavatar", "SOAKAVATAR", KeyValue::Text, kChangeAvatar, kGetAvatarList},
    {"changebackground", "SOAKBACKGROUND", KeyValue::Text, kChangeBackground, kGetBackgroundList},
};

std::vector<Json::Value> SettingsChoices(const KeyRow &row, std::size_t index,
                                         const std::string &image) {
  const auto number = static_cast<int>(index);
  switch (row.value) {
  case KeyValue::Integer:
    return {Settings(number % 3, ""), Settings(number % 3 + 1, image), Settings(Json::Value(), "")};
  case KeyValue::Text:
    return {Settings(std::to_string(number % 2 + 1), image),
            Settings("item-" + std::string(row.context), ""), Settings("", image), Settings(7, "")};
  case KeyValue::None:
    break;
  }
  return {Settings(Json::Value(), ""), Settings(Json::Value(), image)};
}

std::string Value1(const Json::Value &value) {
  Json::Value command(Json::objectValue);
  command["value1"] = value;
  return Json::FastWriter().write(command) + std::string(1, '\0');
}

const Json::Value &StoredSettings(const SoakKey &key) {
  static const Json::Value none;
  return key.stored ? key.settingsChoices[key.settings] : none;
}

bool ShowsImage(const SoakKey &key) {
  return key.stored && !StoredSettings(key)["image"].asString().empty();
}

} // namespace

std::vector<SoakKey> MakeSoakKeys(const std::string &imagePath) {
  std::vector<SoakKey> keys;
  for (const KeyRow &row : kKeys) {
    SoakKey key;
    key.action = kPrefix + row.action;
    key.context = row.context;
    key.position = static_cast<int>(keys.size());
    key.value = row.value;
    key.pressKind = row.pressKind;
    key.listRequestKind = row.listRequestKind;
    key.settingsChoices = SettingsChoices(row, keys.size(), imagePath);
    keys.push_back(key);
  }
  return keys;
}

bool IsQuickslot(const SoakKey &key) { return key.action == kPrefix + "quickslot"; }

bool IsListRequest(std::uint64_t kind) {
  switch (kind) {
  case kGetAvatarList:
  case kGetBackgroundList:
  case kGetEmoteList:
  case kGetSpecialActionList:
  case kGetPoseList:
  case kGetQuickslotList:
  case kGetIdleList:
    return true;
  default:
    return false;
  }
}

std::optional<ExpectedCommand> CommandForPress(const SoakKey &key) {
  const Json::Value &value = StoredSettings(key)["value"];
  switch (key.value) {
  case KeyValue::None:
    return ExpectedCommand{key.pressKind, std::string()};
  case KeyValue::Integer:
    return ExpectedCommand{key.pressKind, Value1(value.asInt())};
  case KeyValue::Text:
    if (value.asString().empty()) {
      return std::nullopt;
    }
    return ExpectedCommand{key.pressKind, Value1(value.asString())};
  }
  return std::nullopt;
}

SoakScript::SoakScript(std::vector<SoakKey> keys, std::uint64_t seed)
    : mKeys(std::move(keys)), mState(seed) {}

std::size_t SoakScript::Pick(std::size_t count) {
  // splitmix64
  std::uint64_t mixed = (mState += 0x9E3779B97F4A7C15ULL);
  mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
  mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
  mixed ^= mixed >> 31;
  return static_cast<std::size_t>(mixed % count);
}

SoakStep SoakScript::AppearAll() {
  SoakStep step;
  step.kind = "willAppear";
  for (SoakKey &key : mKeys) {
    if (!key.stored) {
      SoakStep one = AppearOrDisappear(key);
      step.frames.push_back(one.frames.front());
      step.keyImages += one.keyImages;
    }
  }
  return step;
}

SoakStep SoakScript::Press(std::size_t index) {
  const SoakKey &key = mKeys[index];
  SoakStep step;
  step.kind = "keyDown+keyUp";
  step.presses = 1;
  step.frames = {KeyDownEvent(key.action, key.context, key.position),
                 KeyUpEvent(key.action, key.context, key.position)};
  if (std::optional<ExpectedCommand> command = CommandForPress(key)) {
    step.commands.push_back(*command);
  }
  return step;
}

SoakStep SoakScript::Next() {
  const std::size_t roll = Pick(100);
  SoakKey &key = mKeys[Pick(mKeys.size())];
  if (roll < 30) {
    return Press(static_cast<std::size_t>(&key - mKeys.data()));
  }
  if (roll < 48) {
    return NewSettings(key);
  }
  if (roll < 63) {
    return AppearOrDisappear(key);
  }
  if (roll < 83) {
    return OpenOrCloseInspector(key);
  }
  if (roll < 93) {
    return FromInspector(key);
  }
  return DeviceOrApplication();
}

SoakStep SoakScript::NewSettings(SoakKey &key) {
  SoakStep step;
  step.kind = "didReceiveSettings";
  const std::size_t choice = Pick(key.settingsChoices.size());
  step.frames = {
      DidReceiveSettingsEvent(key.action, key.context, key.position, key.settingsChoices[choice])};
  if (key.stored) {
    key.settings = choice;
    step.keyImages = ShowsImage(key) && !IsQuickslot(key) ? 1 : 0;
  }
  return step;
}

SoakStep SoakScript::AppearOrDisappear(SoakKey &key) {
  SoakStep step;
  if (key.stored) {
    step.kind = "willDisappear";
    step.frames = {WillDisappearEvent(key.action, key.context, key.position, StoredSettings(key))};
    key.stored = false;
    return step;
  }
  step.kind = "willAppear";
  key.settings = Pick(key.settingsChoices.size());
  step.frames = {
      WillAppearEvent(key.action, key.context, key.position, key.settingsChoices[key.settings])};
  key.stored = true;
  step.keyImages = ShowsImage(key) && !IsQuickslot(key) ? 1 : 0;
  return step;
}

SoakStep SoakScript::OpenOrCloseInspector(SoakKey &key) {
  SoakStep step;
  key.inspectorOpen = !key.inspectorOpen;
  step.kind = key.inspectorOpen ? "propertyInspectorDidAppear" : "propertyInspectorDidDisappear";
  step.frames = {InspectorEvent(key.inspectorOpen, key.action, key.context)};
  return step;
}

SoakStep SoakScript::FromInspector(const SoakKey &key) {
  SoakStep step;
  step.kind = "sendToPlugin";
  step.frames = {SendToPluginEvent(key.action, key.context, "getList")};
  return step;
}

SoakStep SoakScript::DeviceOrApplication() {
  SoakStep step;
  switch (Pick(10)) {
  case 0:
    step.kind = "applicationDidTerminate";
    step.frames = {ApplicationEvent(false, "com.brimcove.zorvane")};
    break;
  case 1:
  case 2:
  case 3:
    step.kind = "applicationDidLaunch";
    step.frames = {ApplicationEvent(true, "com.brimcove.zorvane")};
    break;
  default:
    const bool connected = Pick(2) == 0;
    step.kind = connected ? "deviceDidConnect" : "deviceDidDisconnect";
    step.frames = {DeviceEvent(connected)};
    break;
  }
  return step;
}

} // namespace bench
