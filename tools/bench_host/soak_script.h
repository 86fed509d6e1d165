// The soak's keys, the driver's record of what the plug-in knows about them,
// and the Stream Deck events of the soak with what each must lead to: the
// command a key release sends to the desktop application and the key images
// the plug-in sends back.
#pragma once

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// A command as it reaches the desktop window: its kind and its bytes (the
// text and its terminating NUL; empty for a command without data).
struct ExpectedCommand {
  std::uint64_t kind = 0;
  std::string bytes;
};

enum class KeyValue { None, Integer, Text };

struct SoakKey {
  std::string action;
  std::string context;
  int position = 0;
  KeyValue value = KeyValue::None;
  std::uint64_t pressKind = 0;       // the command a release sends
  std::uint64_t listRequestKind = 0; // what an opening inspector asks for; 0: nothing
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
  std::size_t Pick(std::size_t count);
  SoakStep NewSettings(SoakKey &key);
  SoakStep AppearOrDisappear(SoakKey &key);
  SoakStep OpenOrCloseInspector(SoakKey &key);
  SoakStep FromInspector(const SoakKey &key);
  SoakStep DeviceOrApplication();

  std::vector<SoakKey> mKeys;
  std::uint64_t mState;
};

} // namespace bench
