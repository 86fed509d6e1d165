// Fuzz target: any notification from the desktop application's window. The
// first four bytes are the kind code, the rest the counted data. The plug-in
// has a few keys of every kind, so that the reactions run too.
#include "desktop/notification_decoding.h"
#include "support/recorded_plugin.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

void AddKeys(ESDPluginChannel &channel) {
  const char *const keys[] = {
      R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.pose","context":"p",)"
      R"("payload":{"settings":{"value":2}}})",
      R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.pose","context":"bad",)"
      R"("payload":{"settings":{"value":"x"}}})",
      R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.quickslot","context":"q",)"
      R"("payload":{"settings":{"value":"5","image":"/nonexistent.png"}}})",
      R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.broadcast","context":"b"})",
      R"({"event":"willAppear","action":"com.brimcove.zorvaneplugin.emote","context":"e"})",
      R"({"event":"propertyInspectorDidAppear","action":"com.brimcove.zorvaneplugin.emote",)"
      R"("context":"e"})",
  };
  for (const char *key : keys) {
    channel.HandleMessage(key);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static int desktopWindow = 0;
  RecordedPlugin recorded;
  AddKeys(recorded.channel);

  std::uint32_t kind = 0;
  if (size >= sizeof kind) {
    std::memcpy(&kind, data, sizeof kind);
    data += sizeof kind;
    size -= sizeof kind;
  }
  platform::CopyData copy;
  copy.kind = 0x160000u + kind % 12u;
  copy.size = static_cast<std::uint32_t>(size);
  copy.data = size > 0 ? data : nullptr;
  HandleNotification(&desktopWindow, &copy, &desktopWindow, recorded.plugin);
  return 0;
}
