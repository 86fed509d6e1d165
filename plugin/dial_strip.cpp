#include "plugin/dial_strip.h"

#include "desktop/key_actions.h"
#include "plugin/key_images.h"
#include "streamdeck/base64.h"
#include "streamdeck/localizer.h"
#include "streamdeck/plugin_channel.h"

#include <memory>
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

// The position of the entry whose value is `stored`; -1 when none is.
std::int64_t FindEntry(const ItemList &list, const std::string &stored) {
  if (!stored.empty()) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i].valueText == stored) {
        return static_cast<std::int64_t>(i);
      }
    }
  }
  return -1;
}

// A thumbnail on the strip stays small, so that a fast turn stays cheap.
constexpr std::size_t kMaxThumbnailBytes = 64 * 1024;

// The thumbnail as a PNG data URL; empty when it is no readable PNG file of
// at most kMaxThumbnailBytes.
std::string ThumbnailDataUrl(const std::string &path) {
  if (path.empty()) {
    return std::string();
  }
  const FileBytes png = ReadSmallPngFile(path, kMaxThumbnailBytes);
  if (png.size == 0) {
    return std::string();
  }
  return "data:image/png;base64," +
         Base64Encode(png.data.get(), static_cast<std::uint32_t>(png.size));
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

// The entry at `position` of the list (-1: none) on the strip: its text as
// the "value", where it stands as the "indicator" and, where the list names
// thumbnails, an "icon" that goes with it: the entry's thumbnail, else the
// action's own picture, so the strip never keeps another entry's thumbnail.
// A list without thumbnails leaves the icon alone.
void ShowItem(const KeyAction &action, const ItemList &list, std::int64_t position,
              Json::Value &feedback) {
  const ListItem *item = position >= 0 ? &list[static_cast<std::size_t>(position)] : nullptr;
  if (item != nullptr) {
    feedback["value"] = item->text;
  }
  feedback["indicator"] = IndicatorAt(position, list.size());
  std::string icon = item != nullptr ? ThumbnailDataUrl(item->thumbnailFile) : std::string();
  if (icon.empty() && NamesThumbnails(list)) {
    icon = DialIconFile(action);
  }
  if (!icon.empty()) {
    feedback["icon"] = std::move(icon);
  }
}

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

std::string cDialStrips::Localize(std::string_view english) const {
  return mLocalizer != nullptr ? mLocalizer->Localize(english) : std::string(english);
}

// The dial's current entry: the element of its action's current list whose
// value is stored; when none is, the stored value as text; without a list,
// the stored entry's name.
void cDialStrips::ShowEntry(const KeyAction &action, const cContextRecord &dial,
                            Json::Value &feedback) const {
  const std::shared_ptr<const ItemList> list = mLists.Find(dial.action);
  if (list == nullptr) {
    feedback["value"] = StoredName(dial.settings);
    return;
  }
  const std::string stored = StoredValueText(dial.settings);
  feedback["value"] = stored;
  ShowItem(action, *list, FindEntry(*list, stored), feedback);
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
  ShowEntry(*action, dial, feedback);
  mChannel->SetFeedback(std::move(feedback), dial.context);
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
    }
  });
}

bool cDialStrips::Turn(const cContextRecord &dial, std::int32_t ticks) {
  const std::shared_ptr<const ItemList> list = mLists.Find(dial.action);
  if (list == nullptr || list->empty()) {
    return false;
  }
  if (!dial.settings.isObject() && !dial.settings.isNull()) {
    return true;
  }
  const ListItem &item = (*list)[TurnedPosition(FindEntry(*list, StoredValueText(dial.settings)),
                                                ticks, list->size())];
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
    }
  });
  return true;
}

// The list is read once here and shared by every dial of the action.
void cDialStrips::KeepList(const KeyAction &action, const Json::Value &document) {
  mLists.Keep(action.identifier, std::make_shared<const ItemList>(ReadListItems(
                                     document, action.keyValue == KeyValue::Integer)));
  if (mChannel == nullptr) {
    return;
  }
  mInOrder.Run([this, &action] {
    for (const cContextRecord &dial : DialsOf(action)) {
      SendEntry(dial, false);
    }
  });
}

void cDialStrips::DropLists() { mLists.DropAll(); }

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
