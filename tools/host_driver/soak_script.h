// What the soak sends: the Stream Deck events of its keys with what each must
// lead to (the command a key release sends to the desktop application and
// the key images the plug-in sends back), and the desktop application's
// notifications. Every action is a row of the plug-in's key action table.
#pragma once

#include "driver.h"

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace host_driver {

// A command as it reaches the desktop window: its kind and its bytes (the
// text and its terminating NUL; empty for a command without data).
struct ExpectedCommand {
  std::uint64_t kind = 0;
  std::string bytes;
};

struct SoakKey {
  const KeyAction *row = nullptr;
  std::string action; // the row's identifier
  std::string context;
  int position = 0;
  std::vector<Json::Value> settingsChoices;
  // What the plug-in has been told so far.
  bool stored = false;
  std::size_t settings = 0; // the stored settings, an index of settingsChoices
  bool inspectorOpen = false;
};

// The keys of a Stream Deck XL in the soak: every action, several keys for the
// ones whose state follows the desktop application, each with settings to
// switch between (values, empty values, image files). `imagePath` is the key
// image that settings name.
std::vector<SoakKey> MakeSoakKeys(const std::string &imagePath);

bool IsQuickslot(const SoakKey &key);
// True for the list-request kinds of the commands.
bool IsListRequest(std::uint64_t kind);

// The command that releasing `key` must send, by the plug-in's rules: from
// the stored settings' "value", an integer action with 0 when there is none,
// a text action nothing for an empty or missing text.
std::optional<ExpectedCommand> CommandForPress(const SoakKey &key);

// One step: the frames to send, in order, and what they must lead to.
struct SoakStep {
  std::vector<std::string> frames;
  std::vector<ExpectedCommand> commands; // from key releases, in order
  std::size_t keyImages = 0;             // setImage frames of keys other than quick-slot keys
  std::size_t presses = 0;
  std::string kind; // what the step does, for the tally
};

class SoakScript {
public:
  SoakScript(std::vector<SoakKey> keys, std::uint64_t seed);

  // willAppear for every key not yet stored.
  SoakStep AppearAll();
  // keyDown and keyUp of key `index`.
  SoakStep Press(std::size_t index);
  // The next step, chosen pseudo-randomly by weight: presses, settings,
  // keys appearing and disappearing, inspectors opening and closing, messages
  // from inspectors, devices, applications launching and terminating.
  SoakStep Next();

  const std::vector<SoakKey> &Keys() const { return mKeys; }

private:
  std::size_t Pick(std::size_t count) { return NextRandom(mState) % count; }
  SoakStep NewSettings(SoakKey &key);
  SoakStep AppearOrDisappear(SoakKey &key);
  SoakStep OpenOrCloseInspector(SoakKey &key);
  SoakStep DeviceOrApplication();

  std::vector<SoakKey> mKeys;
  std::uint64_t mState;
};

struct Notification {
  std::uint64_t kind = 0;
  std::string payload; // sent with its terminating NUL counted; empty: no data at all
};

// A list notification and the action whose open inspectors receive it.
struct ListNotification {
  std::string action;
  Notification notification;
  Json::Value document; // what the inspectors receive
};

// Every list the soak sends: two of each action's list, of different lengths.
const std::vector<ListNotification> &SoakLists();

// Chooses the soak's notifications pseudo-randomly, by weight: mostly
// state changes and lists, some quick-slot changes (which make the plug-in
// read a key image file), a few refresh requests.
class NotificationMix {
public:
  explicit NotificationMix(std::uint64_t seed) : mState(seed) {}
  Notification Next();

private:
  std::size_t Pick(std::size_t count) { return NextRandom(mState) % count; }
  std::uint64_t mState;
};

} // namespace host_driver
