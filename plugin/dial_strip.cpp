#include "plugin/dial_strip.h"

#include "desktop/key_actions.h"
#include "platform/platform.h"
#include "streamdeck/localizer.h"
#include "streamdeck/plugin_channel.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

namespace {

// The stored "value" as the property inspector compares it with a list's
// values; empty when there is none.
std::string StoredValueText(const Json::Value &settings) {
  return settings.isObject() ? JavaScriptText(settings["value"]) : std::string();
}

// What a dial names its stored entry by while it has no list: the stored
// "label" (the entry's text, stored beside its value) when it is a non-empty
// text, else the stored value as text.
std::string StoredName(const Json::Value &settings) {
  if (settings.isObject()) {
    const Json::Value &label = settings["label"];
    if (label.isString() && !label.asString().empty()) {
      return label.asString();
    }
  }
  return StoredValueText(settings);
}

// Whether any entry of the list names a thumbnail file.
bool NamesThumbnails(const ItemList &list) {
  for (const ListItem &item : list) {
    if (!item.thumbnailFile.empty()) {
      return true;
    }
  }
  return false;
}

// Where the entry at `position` stands in a list of `size` entries, for the
// strip's indicator: 0 at the first entry, 100 at the last, in proportion
// between, rounded to the nearest whole number. 0 for no entry (-1) and in a
// list of one entry.
int IndicatorAt(std::int64_t position, std::size_t size) {
  const auto last = static_cast<std::int64_t>(size) - 1;
  if (position <= 0 || last <= 0) {
    return 0;
  }
  return static_cast<int>((200 * position + last) / (2 * last));
}

// The files of the list's thumbnails in the order the strips will want them:
// nearest first to any of `positions` (entries of dials, -1 for none), going
// both ways round the list, up to `reach` entries away; each file once.
std::vector<std::string_view>
FilesAround(const ItemList &list, const std::vector<std::int64_t> &positions, std::size_t reach) {
  std::vector<std::string_view> files;
  std::set<std::string_view> seen;
  const auto size = static_cast<std::int64_t>(list.size());
  const auto add = [&](std::int64_t position) {
    const std::string &file =
        list[static_cast<std::size_t>((position % size + size) % size)].thumbnailFile;
    if (!file.empty() && seen.insert(file).second) {
      files.push_back(file);
    }
  };
  for (std::int64_t distance = 0; distance <= static_cast<std::int64_t>(reach); ++distance) {
    for (const std::int64_t position : positions) {
      const std::int64_t from = std::max<std::int64_t>(position, 0);
      add(from + distance);
      add(from - distance);
    }
  }
  return files;
}

// The built-in layouts' picture is a square of this many pixels.
constexpr int kStripPictureBox = 48;
// How many entries either side of a turned dial's entry have their pictures
// made next, so that the following turns find them.
constexpr std::size_t kTurnReach = 4;

} // namespace

std::size_t TurnedPosition(std::int64_t current, std::int32_t ticks, std::size_t size) {
  const auto n = static_cast<std::int64_t>(size);
  std::int64_t position = ticks;
  if (current >= 0) {
    position += current;
  } else if (ticks > 0) {
    position -= 1;
  }
  return static_cast<std::size_t>((position % n + n) % n);
}

std::string DialIconFile(const KeyAction &action) {
  const std::string_view name = action.identifier.substr(action.identifier.rfind('.') + 1);
  return "images/encoders/" + std::string(name) + ".png";
}

cDialStrips::cDialStrips(cContextStore &store, ESDPluginChannel *const &channel,
                         cStripPictures::Worker pictureWorker)
    : mStore(store), mChannel(channel),
      mPictures(
          [](const std::string &path) {
            return platform::MakeStripPicture(path, kStripPictureBox);
          },
          pictureWorker) {
  mPictures.SetMadeHandler(
      [this](std::uint64_t list, const std::string &file) { ShowMadePicture(list, file); });
}

std::string cDialStrips::Localize(std::string_view english) const {
  return mLocalizer != nullptr ? mLocalizer->Localize(english) : std::string(english);
}

// The dial's current entry: the element of its action's current list whose
// value is stored; when none is, the stored value as text; without a list,
// the stored entry's name.
void cDialStrips::ShowEntry(const KeyAction &action, const cContextRecord &dial,
                            Json::Value &feedback, cStripPictures::cPicture &picture) const {
  const std::shared_ptr<const cKeptList> list = mLists.Find(dial.action);
  if (list == nullptr) {
    feedback["value"] = StoredName(dial.settings);
    return;
  }
  const std::string stored = StoredValueText(dial.settings);
  feedback["value"] = stored;
  ShowItem(action, *list, list->Find(stored), feedback, picture);
}

// The entry at `position` of the list (-1: none) on the strip: its text as
// the "value", where it stands as the "indicator" and, where the list names
// thumbnails, an icon that goes with it: the entry's picture (as `picture`,
// a PNG data URL), else the action's own picture as the "icon" (also while
// the entry's picture is being made), so the strip never keeps another
// entry's thumbnail. A list without thumbnails leaves the icon alone.
void cDialStrips::ShowItem(const KeyAction &action, const cKeptList &list, std::int64_t position,
                           Json::Value &feedback, cStripPictures::cPicture &picture) const {
  const ListItem *item = position >= 0 ? &list.items[static_cast<std::size_t>(position)] : nullptr;
  if (item != nullptr) {
    feedback["value"] = item->text;
  }
  feedback["indicator"] = IndicatorAt(position, list.items.size());
  if (item != nullptr && !item->thumbnailFile.empty()) {
    picture = mPictures.Find(list.serial, item->thumbnailFile);
  }
  if ((picture == nullptr || picture->empty()) && NamesThumbnails(list.items)) {
    feedback["icon"] = DialIconFile(action);
  }
}

// Each dial of the action whose entry has `file` as its thumbnail in the
// list `serial`, still current, shows the picture just made.
void cDialStrips::ShowMadePicture(std::uint64_t serial, const std::string &file) {
  mInOrder.Run([this, serial, file] {
    for (const KeyAction &action : kKeyActions) {
      const std::shared_ptr<const cKeptList> list = mLists.Find(action.identifier);
      if (list == nullptr || list->serial != serial) {
        continue;
      }
      for (const cContextRecord &dial : DialsOf(action)) {
        const std::int64_t position = list->Find(StoredValueText(dial.settings));
        if (position >= 0 &&
            list->items[static_cast<std::size_t>(position)].thumbnailFile == file) {
          SendEntry(dial, false);
        }
      }
    }
  });
}

// The pictures of the list's entries, nearest first to the dials' entries,
// are made while there is room for them; a turn's neighbours may push out
// the pictures used least recently.
void cDialStrips::PrepareAround(const cKeptList &list, const std::vector<cContextRecord> &dials,
                                std::size_t reach, bool mayEvict) {
  if (list.items.empty() || dials.empty()) {
    return;
  }
  std::vector<std::int64_t> positions;
  for (const cContextRecord &dial : dials) {
    positions.push_back(list.Find(StoredValueText(dial.settings)));
  }
  mPictures.Prepare(list.serial, FilesAround(list.items, positions, reach), mayEvict);
}

void cDialStrips::PrepareAll(const cContextRecord &dial) {
  if (const std::shared_ptr<const cKeptList> list = mLists.Find(dial.action)) {
    PrepareAround(*list, {dial}, list->items.size() / 2, false);
  }
}

void cDialStrips::SendEntry(const cContextRecord &dial, bool withTitle) const {
  const KeyAction *action = FindKeyAction(dial.action);
  if (action == nullptr) {
    return;
  }
  Json::Value feedback(Json::objectValue);
  if (withTitle) {
    feedback["title"] = Localize(action->name);
  }
  cStripPictures::cPicture picture;
  ShowEntry(*action, dial, feedback, picture);
  static const std::string kNoPicture;
  mChannel->SetFeedback(std::move(feedback), dial.context,
                        picture != nullptr ? *picture : kNoPicture);
}

void cDialStrips::SendText(const cContextRecord &dial, std::string_view english) const {
  Json::Value feedback(Json::objectValue);
  feedback["value"] = Localize(english);
  mChannel->SetFeedback(std::move(feedback), dial.context);
}

std::vector<cContextRecord> cDialStrips::DialsOf(const KeyAction &action) const {
  return mStore.GetByAction(action.identifier, Controller::Encoder);
}

void cDialStrips::Show(const cContextRecord &dial, bool withTitle) {
  if (mChannel == nullptr) {
    return;
  }
  mInOrder.Run([this, context = dial.context, action = dial.action, withTitle] {
    const cContextRecord now = mStore.Find(context, action);
    if (now.IsEncoder()) {
      SendEntry(now, withTitle);
      PrepareAll(now);
    }
  });
}

bool cDialStrips::Turn(const cContextRecord &dial, std::int32_t ticks) {
  const std::shared_ptr<const cKeptList> list = mLists.Find(dial.action);
  if (list == nullptr || list->items.empty()) {
    return false;
  }
  if (!dial.settings.isObject() && !dial.settings.isNull()) {
    return true;
  }
  const ListItem &item = list->items[TurnedPosition(list->Find(StoredValueText(dial.settings)),
                                                    ticks, list->items.size())];
  Json::Value settings = dial.settings.isObject() ? dial.settings : Json::Value(Json::objectValue);
  settings["value"] = item.value;
  settings["label"] = item.text;
  mStore.ReplaceSettings(dial.context, dial.action, settings);
  if (mChannel == nullptr) {
    return true;
  }
  mInOrder.Run([this, context = dial.context, action = dial.action] {
    const cContextRecord now = mStore.Find(context, action);
    if (now.IsEncoder()) {
      mChannel->SetSettings(now.settings, now.context);
      SendEntry(now, false);
      if (const std::shared_ptr<const cKeptList> current = mLists.Find(now.action)) {
        PrepareAround(*current, {now}, kTurnReach, true);
      }
    }
  });
  return true;
}

// The list is read once here and shared by every dial of the action.
// Its pictures are made afresh: the files may have changed since the last list.
void cDialStrips::KeepList(const KeyAction &action, const Json::Value &document) {
  const auto list = std::make_shared<const cKeptList>(
      mNextSerial.fetch_add(1) + 1, ReadListItems(document, action.keyValue == KeyValue::Integer));
  mPictures.Open(list->serial);
  const std::shared_ptr<const cKeptList> replaced = mLists.Keep(action.identifier, list);
  if (replaced != nullptr) {
    mPictures.Close(replaced->serial);
  }
  if (mChannel == nullptr) {
    return;
  }
  mInOrder.Run([this, &action] {
    const std::vector<cContextRecord> dials = DialsOf(action);
    for (const cContextRecord &dial : dials) {
      SendEntry(dial, false);
    }
    if (const std::shared_ptr<const cKeptList> current = mLists.Find(action.identifier)) {
      PrepareAround(*current, dials, current->items.size() / 2, false);
    }
  });
}

void cDialStrips::DropLists() {
  mLists.DropAll();
  mPictures.CloseAll();
}

void cDialStrips::StopMakingPictures() { mPictures.Stop(); }

void cDialStrips::MakeWaitingPictures() { mPictures.MakeWaiting(); }

void cDialStrips::ShowState(const KeyAction &action, bool on, std::optional<std::int32_t> value) {
  if (mChannel == nullptr || !action.dial.ShowsState()) {
    return;
  }
  mInOrder.Run([this, &action, on, value] {
    for (const cContextRecord &dial : DialsOf(action)) {
      try {
        if (!value || dial.GetValueAsInt() == *value) {
          SendText(dial, on ? action.dial.onText : action.dial.offText);
        }
      } catch (const Json::Exception &) {
        // A dial whose "value" is no integer names no such state; the others still follow.
      }
    }
  });
}

void cDialStrips::ShowClosed() {
  if (mChannel == nullptr) {
    return;
  }
  mInOrder.Run([this] {
    for (const KeyAction &action : kKeyActions) {
      if (action.dial.ShowsState() && !action.dial.turns) {
        for (const cContextRecord &dial : DialsOf(action)) {
          SendText(dial, action.dial.offText);
        }
      }
    }
  });
}
