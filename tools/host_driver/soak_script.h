// What the soak sends: the Stream Deck events of its keys with what each must
// lead to (the command a key release sends to the desktop application and
// the key images the plug-in sends back), and the desktop application's
// notifications. Every action is a row of the plug-in's key action table.
// And the soak's checks: every frame to the host must be one that some event
// or notification of the soak can cause, byte for byte; every command from a
// key release must reach the desktop window, in order.
#pragma once

#include "driver.h"
#include "session.h"

#include <json/json.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
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

// The kinds of frame that the soak tells apart.
enum class FrameKind {
  KeyImage,       // setImage of a key other than a quick-slot key: only events cause it
  QuickslotImage, // setImage of a quick-slot key: events and notifications cause it
  State,          // setState
  Inspector,      // sendToPropertyInspector: a list, or that the application closed
  Final,          // setImage of the key that the soak's last event names
};
constexpr std::size_t kFrameKinds = 5;

// Every text the plug-in may send in the soak, with its kind: the images of
// `keys` (showing `png`) and of `finalContext`, the states of broadcast and
// pose keys, and the inspector payloads of every key.
std::unordered_map<std::string, FrameKind> SoakFrameTexts(const std::vector<SoakKey> &keys,
                                                          const std::string &png,
                                                          const std::string &finalContext);

class SoakFrames : public FrameSink {
public:
  explicit SoakFrames(std::unordered_map<std::string, FrameKind> texts);

  void OnText(const std::string &text, Clock::time_point arrival) override;
  // A fault unless ExpectClose came first.
  void OnConnectionEnded() override;

  // The driver is about to close the connection.
  void ExpectClose();

  std::size_t Count(FrameKind kind) const;
  std::uint64_t Frames() const;
  // Waits up to `limit` until `count` frames of `kind` have arrived; false
  // when they have not, or on a fault.
  bool WaitForCount(FrameKind kind, std::size_t count, std::chrono::milliseconds limit);

private:
  const std::unordered_map<std::string, FrameKind> mTexts;
  // Guarded by mMutex.
  std::array<std::size_t, kFrameKinds> mCounts{};
  bool mClosing = false;
};

// The commands that key releases must deliver, in order. List requests may
// come between them at any point: inspectors and the desktop application's
// refresh requests cause them.
class PressLedger {
public:
  void Expect(const ExpectedCommand &command);
  // Checks one command that reached the desktop window; returns what is
  // wrong with it, or the empty text.
  std::string Receive(const ReceivedCommand &command);

  std::size_t Outstanding() const { return mExpected.size(); }
  std::size_t Delivered() const { return mDelivered; }
  std::size_t ListRequests() const { return mListRequests; }

private:
  std::deque<ExpectedCommand> mExpected;
  std::size_t mDelivered = 0;
  std::size_t mListRequests = 0;
};

} // namespace host_driver
