#include "soak_notifications.h"

namespace bench {
namespace {

constexpr std::uint64_t kRefresh = 0x160000;
constexpr std::uint64_t kBroadcastState = 0x160001;
constexpr std::uint64_t kPoseState = 0x160002;
constexpr std::uint64_t kQuickslotState = 0x160009;

struct ListRow {
  std::uint64_t kind;
  const char *listType;
  const char *action;
  bool withImagePath;
};

const ListRow kLists[] = {
    {0x160003, "avatar", "changeavatar", true},
    {0x160004, "background", "changebackground", true},
    {0x160005, "emote", "emote", true},
    {0x160006, "special_action", "specialaction", false},
    {0x160007, "pose", "pose", false},
    {0x160008, "quickslot", "quickslot", true},
    {0x16000A, "idle", "idle", false},
};

std::string Compact(const Json::Value &value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

ListNotification MakeList(const ListRow &row, int items) {
  Json::Value document(Json::objectValue);
  document["listType"] = row.listType;
  if (row.withImagePath) {
    document["imagePath"] = "C:\\Users\\streamer\\AppData\\Zorvane\\thumbnails";
  }
  document["itemList"] = Json::Value(Json::arrayValue);
  for (int i = 0; i < items; ++i) {
    Json::Value item(Json::objectValue);
    item["name"] = std::string(row.listType) + " " + std::to_string(i + 1);
    item["value"] = std::to_string(i + 1);
    if (row.withImagePath) {
      item["image"] = std::to_string(i + 1) + ".png";
    }
    document["itemList"].append(item);
  }
  return {std::string("com.brimcove.zorvaneplugin.") + row.action,
          Notification{row.kind, Compact(document)}, document};
}

Notification StateNotification(std::uint64_t kind, const Json::Value &value1,
                               const Json::Value &value2) {
  Json::Value payload(Json::objectValue);
  payload["value1"] = value1;
  if (!value2.isNull()) {
    payload["value2"] = value2;
  }
  return Notification{kind, Compact(payload)};
}

} // namespace

const std::vector<ListNotification> &SoakLists() {
  static const std::vector<ListNotification> lists = [] {
    std::vector<ListNotification> all;
    for (const ListRow &row : kLists) {
      all.push_back(MakeList(row, 4));
      all.push_back(MakeList(row, 24));
    }
    return all;
  }();
  return lists;
}

std::size_t NotificationMix::Pick(std::size_t count) {
  std::uint64_t mixed = (mState += 0x9E3779B97F4A7C15ULL); // splitmix64
  mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
  mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
  mixed ^= mixed >> 31;
  return static_cast<std::size_t>(mixed % count);
}

Notification NotificationMix::Next() {
  const std::size_t roll = Pick(100);
  if (roll < 20) {
    return StateNotification(kBroadcastState, Pick(2) == 0, Json::Value());
  }
  if (roll < 40) {
    return StateNotification(kPoseState, Pick(2) == 0, static_cast<int>(Pick(4)));
  }
  if (roll < 48) {
    return StateNotification(kQuickslotState, std::to_string(Pick(3) + 1), Pick(2) == 0);
  }
  if (roll < 96) {
    return SoakLists()[Pick(SoakLists().size())].notification;
  }
  return Notification{kRefresh, std::string()};
}

} // namespace bench
