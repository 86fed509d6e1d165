// The touch strip of each dial: which entry of its action's list the dial has
// chosen, where a turn lands, and what the strip shows: the action's name, the
// entry's text beside its picture, or the action's state.
#pragma once

#include "plugin/context_store.h"
#include "plugin/current_lists.h"
#include "plugin/in_order.h"
#include "plugin/strip_pictures.h"

#include <json/json.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ESDPluginChannel;
class Localizer;
struct KeyAction;

// The list position that a turn of `ticks` lands on from position `current`
// (-1: no entry chosen) in a list of `size` entries (at least one), wrapping
// around: from no entry, the first turn forward reaches the first entry and
// the first turn back the last one.
std::size_t TurnedPosition(std::int64_t current, std::int32_t ticks, std::size_t size);

// The action's own picture for a dial, as a file of the plug-in's folder
// ("images/encoders/<last part of the identifier>.png"): the manifest's
// encoder icon, which the strip goes back to for an entry without a thumbnail.
std::string DialIconFile(const KeyAction &action);

// Used from the session worker (dial events) and the main thread (lists and
// states from the desktop application). The dials themselves are the store's
// records; the strips keep only the current lists and their entries' pictures,
// which a thread of the pictures' own makes (see cStripPictures): the strip
// shows the action's own picture until an entry's picture is made, then the
// entry again with it.
//
// For one dial, frames leave in the order of the changes they show: each
// change is made first (the settings stored, the list kept), then a job of
// mInOrder makes the frames from the store and the lists as they are when it
// runs, and sends them. Jobs run one at a time in the order of the changes,
// so the last frame of a strip shows the dial's last settings in the latest
// list, whichever thread made which change.
class cDialStrips {
public:
  // `channel` is the plug-in's, set once by start-up before the session begins.
  // `pictureWorker`: who makes the entries' pictures (tests make them when
  // they choose, with MakeWaitingPictures).
  cDialStrips(cContextStore &store, ESDPluginChannel *const &channel,
              cStripPictures::Worker pictureWorker);

  // Set once by start-up; without one the strips' texts are English.
  void SetLocalizer(const Localizer *localizer) { mLocalizer = localizer; }

  // Shows the dial's entry, under the action's name when `withTitle`.
  void Show(const cContextRecord &dial, bool withTitle);
  // Moves the dial's choice by `ticks` through its action's list: the entry
  // reached becomes the stored "value", its text the stored "label", the
  // other members kept (setSettings), and it is shown. Returns
  // false, changing nothing, when the action has no list to turn through.
  bool Turn(const cContextRecord &dial, std::int32_t ticks);
  // The action's new list becomes its current one, and every dial of the
  // action shows its entry in it.
  void KeepList(const KeyAction &action, const Json::Value &document);
  void DropLists();
  // The session has ended: no picture is made any more, and the one being
  // made is waited for.
  void StopMakingPictures();
  // cStripPictures::Worker::Caller: makes every picture asked for, here.
  void MakeWaitingPictures();
  // The desktop application reports the action's state: its dials show the
  // row's text for it; with `value`, only the dials whose "value" it is.
  void ShowState(const KeyAction &action, bool on, std::optional<std::int32_t> value);
  // The desktop application has closed: a dial that shows only its action's
  // state shows it off.
  void ShowClosed();

private:
  std::string Localize(std::string_view english) const;
  void ShowEntry(const KeyAction &action, const cContextRecord &dial, Json::Value &feedback,
                 cStripPictures::cPicture &picture) const;
  void ShowItem(const KeyAction &action, const cKeptList &list, std::int64_t position,
                Json::Value &feedback, cStripPictures::cPicture &picture) const;
  void ShowMadePicture(std::uint64_t serial, const std::string &file);
  void PrepareAround(const cKeptList &list, const std::vector<cContextRecord> &dials,
                     std::size_t reach, bool mayEvict);
  void PrepareAll(const cContextRecord &dial);
  // These run as jobs of mInOrder, on the dials as the store now has them.
  void SendEntry(const cContextRecord &dial, bool withTitle) const;
  void SendText(const cContextRecord &dial, std::string_view english) const;
  std::vector<cContextRecord> DialsOf(const KeyAction &action) const;

  cContextStore &mStore;
  ESDPluginChannel *const &mChannel;
  const Localizer *mLocalizer = nullptr;
  cCurrentLists mLists;
  std::atomic<std::uint64_t> mNextSerial{0};
  cInOrder mInOrder;
  // Last, so that its thread, which shows the pictures it makes, ends first.
  mutable cStripPictures mPictures;
};
