#include "soak_script.h"

#include "messages.h"

#include <numeric>

namespace host_driver {
namespace {

// A step of one frame that leads to nothing that the driver counts.
SoakStep OneFrame(const std::string &kind, std::string frame) {
  SoakStep step;
  step.kind = kind;
  step.frames = {std::move(frame)};
  return step;
}

bool FollowsDesktopState(const SoakKey &key) {
  return key.row->keyCommand == CommandKind::Broadcast || key.row->keyCommand == CommandKind::Pose;
}

std::string Describe(std::uint64_t kind, const std::string &bytes) {
  return "kind " + KindText(kind) + " with " + std::to_string(bytes.size()) + " bytes " +
         Excerpt(bytes);
}

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

// One row per key, named by the command its release sends; the settings to
// switch between are added below.
const struct {
  std::uint32_t command;
  const char *context;
} kKeys[] = {
    {CommandKind::Broadcast, "SOAKBROADCAST0"},
    {CommandKind::Broadcast, "SOAKBROADCAST1"},
    {CommandKind::Calibrate, "SOAKCALIBRATE"},
    {CommandKind::SpecialAction, "SOAKSPECIAL"},
    {CommandKind::Pose, "SOAKPOSE0"},
    {CommandKind::Pose, "SOAKPOSE1"},
    {CommandKind::Pose, "SOAKPOSE2"},
    {CommandKind::Idle, "SOAKIDLE"},
    {CommandKind::Emote, "SOAKEMOTE"},
    {CommandKind::Quickslot, "SOAKQUICK0"},
    {CommandKind::Quickslot, "SOAKQUICK1"},
    {CommandKind::ChangeAvatar, "SOAKAVATAR"},
    {CommandKind::ChangeBackground, "SOAKBACKGROUND"},
};

std::vector<Json::Value> SettingsChoices(const KeyAction &row, const std::string &context,
                                         std::size_t index, const std::string &image) {
  const auto number = static_cast<int>(index);
  switch (row.keyValue) {
  case KeyValue::Integer:
    return {Settings(number % 3, ""), Settings(number % 3 + 1, image), Settings(Json::Value(), "")};
  case KeyValue::Text:
    return {Settings(std::to_string(number % 2 + 1), image), Settings("item-" + context, ""),
            Settings("", image), Settings(7, "")};
  case KeyValue::None:
    break;
  }
  return {Settings(Json::Value(), ""), Settings(Json::Value(), image)};
}

// The command text as it reaches the desktop window, with its terminating NUL.
std::string Sent(const std::string &text) { return text + std::string(1, '\0'); }

const Json::Value &StoredSettings(const SoakKey &key) {
  static const Json::Value none;
  return key.stored ? key.settingsChoices[key.settings] : none;
}

bool IsQuickslot(const SoakKey &key) { return key.row->keyCommand == CommandKind::Quickslot; }

// 1 when the plug-in must send the key an image that only events cause.
std::size_t KeyImages(const SoakKey &key) {
  return key.stored && !IsQuickslot(key) && !StoredSettings(key)["image"].asString().empty();
}

// True for the list-request kinds of the commands.
bool IsListRequest(std::uint64_t kind) {
  for (const KeyAction &action : kKeyActions) {
    if (action.HasList() && action.listRequest == kind) {
      return true;
    }
  }
  return false;
}

} // namespace

std::vector<SoakKey> MakeSoakKeys(const std::string &imagePath) {
  std::vector<SoakKey> keys;
  for (const auto &row : kKeys) {
    SoakKey key;
    key.row = FindKeyAction(KeyActionIdentifier(row.command));
    key.action = std::string(key.row->identifier);
    key.context = row.context;
    key.position = static_cast<int>(keys.size());
    key.settingsChoices = SettingsChoices(*key.row, key.context, keys.size(), imagePath);
    keys.push_back(key);
  }
  return keys;
}

std::optional<ExpectedCommand> CommandForPress(const SoakKey &key) {
  const Json::Value &value = StoredSettings(key)["value"];
  const std::uint32_t kind = key.row->keyCommand;
  switch (key.row->keyValue) {
  case KeyValue::None:
    return ExpectedCommand{kind, std::string()};
  case KeyValue::Integer:
    return ExpectedCommand{kind, Sent(SerializeValue1(value.asInt()))};
  case KeyValue::Text:
    break;
  }
  if (value.asString().empty()) {
    return std::nullopt;
  }
  return ExpectedCommand{kind, Sent(SerializeValue1(value.asString()))};
}

SoakScript::SoakScript(std::vector<SoakKey> keys, std::uint64_t seed)
    : mKeys(std::move(keys)), mState(seed) {}

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
  step.frames = {KeyEvent("keyDown", key.action, key.context, key.position),
                 KeyEvent("keyUp", key.action, key.context, key.position)};
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
    Json::Value message = KeyMessage("sendToPlugin", key.action, key.context);
    message["payload"]["request"] = "getList";
    return OneFrame("sendToPlugin", CompactJson(message));
  }
  return DeviceOrApplication();
}

SoakStep SoakScript::NewSettings(SoakKey &key) {
  SoakStep step;
  step.kind = "didReceiveSettings";
  const std::size_t choice = Pick(key.settingsChoices.size());
  step.frames = {
      KeyEvent(step.kind, key.action, key.context, key.position, key.settingsChoices[choice])};
  if (key.stored) {
    key.settings = choice;
    step.keyImages = KeyImages(key);
  }
  return step;
}

SoakStep SoakScript::AppearOrDisappear(SoakKey &key) {
  SoakStep step;
  if (key.stored) {
    step.kind = "willDisappear";
    step.frames = {KeyEvent(step.kind, key.action, key.context, key.position, StoredSettings(key))};
    key.stored = false;
    return step;
  }
  step.kind = "willAppear";
  key.settings = Pick(key.settingsChoices.size());
  step.frames = {KeyEvent(step.kind, key.action, key.context, key.position,
                          key.settingsChoices[key.settings])};
  key.stored = true;
  step.keyImages = KeyImages(key);
  return step;
}

SoakStep SoakScript::OpenOrCloseInspector(SoakKey &key) {
  key.inspectorOpen = !key.inspectorOpen;
  const std::string event =
      key.inspectorOpen ? "propertyInspectorDidAppear" : "propertyInspectorDidDisappear";
  return OneFrame(event, CompactJson(KeyMessage(event, key.action, key.context)));
}

SoakStep SoakScript::DeviceOrApplication() {
  const std::size_t roll = Pick(10);
  if (roll < 4) {
    const std::string event = roll == 0 ? "applicationDidTerminate" : "applicationDidLaunch";
    Json::Value message(Json::objectValue);
    message["event"] = event;
    message["payload"]["application"] = "com.brimcove.zorvane";
    return OneFrame(event, CompactJson(message));
  }
  const bool connected = Pick(2) == 0;
  return OneFrame(connected ? "deviceDidConnect" : "deviceDidDisconnect", DeviceEvent(connected));
}

namespace {

ListNotification MakeList(const KeyAction &row, int items) {
  Json::Value document(Json::objectValue);
  document["listType"] = row.listType;
  if (row.listItemsHaveImagePath) {
    document["imagePath"] = "C:\\Users\\streamer\\AppData\\Zorvane\\thumbnails";
  }
  document["itemList"] = Json::Value(Json::arrayValue);
  for (int i = 0; i < items; ++i) {
    Json::Value item(Json::objectValue);
    item["name"] = std::string(row.listType) + " " + std::to_string(i + 1);
    item["value"] = std::to_string(i + 1);
    if (row.listItemsHaveImagePath) {
      item["image"] = std::to_string(i + 1) + ".png";
    }
    document["itemList"].append(item);
  }
  return {std::string(row.identifier), Notification{row.listKind, CompactJson(document)}, document};
}

Notification StateNotification(std::uint64_t kind, const Json::Value &value1,
                               const Json::Value &value2) {
  Json::Value payload(Json::objectValue);
  payload["value1"] = value1;
  if (!value2.isNull()) {
    payload["value2"] = value2;
  }
  return Notification{kind, CompactJson(payload)};
}

} // namespace

const std::vector<ListNotification> &SoakLists() {
  static const std::vector<ListNotification> lists = [] {
    std::vector<ListNotification> all;
    for (const KeyAction &row : kKeyActions) {
      if (row.HasList()) {
        all.push_back(MakeList(row, 4));
        all.push_back(MakeList(row, 24));
      }
    }
    return all;
  }();
  return lists;
}

Notification NotificationMix::Next() {
  const std::size_t roll = Pick(100);
  if (roll < 20) {
    return StateNotification(NotificationKind::BroadcastState, Pick(2) == 0, Json::Value());
  }
  if (roll < 40) {
    return StateNotification(NotificationKind::PoseState, Pick(2) == 0, static_cast<int>(Pick(4)));
  }
  if (roll < 48) {
    return StateNotification(NotificationKind::QuickslotState, std::to_string(Pick(3) + 1),
                             Pick(2) == 0);
  }
  if (roll < 96) {
    return SoakLists()[Pick(SoakLists().size())].notification;
  }
  return Notification{NotificationKind::Refresh, std::string()};
}

std::unordered_map<std::string, FrameKind> SoakFrameTexts(const std::vector<SoakKey> &keys,
                                                          const std::string &png,
                                                          const std::string &finalContext) {
  std::unordered_map<std::string, FrameKind> texts;
  Json::Value closed(Json::objectValue);
  closed["appDidClose"] = true;
  for (const SoakKey &key : keys) {
    texts[SetImageText(key.context, png)] =
        IsQuickslot(key) ? FrameKind::QuickslotImage : FrameKind::KeyImage;
    if (FollowsDesktopState(key)) {
      texts[SetStateText(key.context, 0)] = FrameKind::State;
      texts[SetStateText(key.context, 1)] = FrameKind::State;
    }
    texts[InspectorText(key.action, key.context, closed)] = FrameKind::Inspector;
    for (const ListNotification &list : SoakLists()) {
      if (list.action == key.action) {
        texts[InspectorText(key.action, key.context, list.document)] = FrameKind::Inspector;
      }
    }
  }
  texts[SetImageText(finalContext, png)] = FrameKind::Final;
  return texts;
}

SoakFrames::SoakFrames(std::unordered_map<std::string, FrameKind> texts)
    : mTexts(std::move(texts)) {}

void SoakFrames::OnText(const std::string &text, Clock::time_point) {
  const auto found = mTexts.find(text);
  if (found == mTexts.end()) {
    SetFault("the plug-in sent a frame that no event or notification of the soak causes: " +
             Excerpt(text));
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    ++mCounts[static_cast<std::size_t>(found->second)];
  }
  mChanged.notify_all();
}

void SoakFrames::OnConnectionEnded() {
  bool closing = false;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    closing = mClosing;
  }
  if (!closing) {
    SetFault("the connection to the plug-in ended during the soak");
  }
}

void SoakFrames::ExpectClose() {
  const std::lock_guard<std::mutex> lock(mMutex);
  mClosing = true;
}

std::size_t SoakFrames::Count(FrameKind kind) const {
  const std::lock_guard<std::mutex> lock(mMutex);
  return mCounts[static_cast<std::size_t>(kind)];
}

std::uint64_t SoakFrames::Frames() const {
  const std::lock_guard<std::mutex> lock(mMutex);
  return std::accumulate(mCounts.begin(), mCounts.end(), std::uint64_t{0});
}

bool SoakFrames::WaitForCount(FrameKind kind, std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mMutex);
  const std::size_t index = static_cast<std::size_t>(kind);
  return mChanged.wait_for(lock, limit, [&] {
    return !mFault.empty() || mCounts[index] >= count;
  }) && mFault.empty();
}

void PressLedger::Expect(const ExpectedCommand &command) { mExpected.push_back(command); }

std::string PressLedger::Receive(const ReceivedCommand &command) {
  const std::string bytes = command.hasData ? command.bytes : std::string();
  if (command.size != bytes.size()) {
    return "the desktop window got kind " + KindText(command.kind) + " counting " +
           std::to_string(command.size) + " bytes with " + std::to_string(bytes.size()) +
           " present";
  }
  if (IsListRequest(command.kind) && bytes.empty()) {
    ++mListRequests;
    return std::string();
  }
  if (mExpected.empty()) {
    return "the desktop window got " + Describe(command.kind, bytes) +
           ", which no key release asked for";
  }
  const ExpectedCommand &expected = mExpected.front();
  if (command.kind != expected.kind || bytes != expected.bytes) {
    return "key release " + std::to_string(mDelivered + 1) + ": the desktop window got " +
           Describe(command.kind, bytes) + ", expected " + Describe(expected.kind, expected.bytes) +
           " (a command lost, repeated or changed)";
  }
  mExpected.pop_front();
  ++mDelivered;
  return std::string();
}

} // namespace host_driver
