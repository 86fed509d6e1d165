// Fuzz target: any text from the Stream Deck application, handled by the real
// dispatch and plug-in with recorders in place of the session and the sender.
// Nothing may crash, hang or leak, whatever the text.
#include "plugin/zorvane_plugin.h"
#include "streamdeck/plugin_channel.h"
#include "support/recorders.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  cZorvanePlugin plugin;
  RecordingSession session;
  RecordingQueue commands;
  ESDPluginChannel channel("uuid", &session, &plugin);
  plugin.SetChannel(&channel);
  plugin.SetCommandQueue(&commands);
  // Several messages per input, one per line, so that a key can appear first
  // and then be pressed, changed or inspected.
  const std::string text(reinterpret_cast<const char *>(data), size);
  std::string::size_type start = 0;
  while (start <= text.size()) {
    const std::string::size_type end = text.find('\n', start);
    channel.HandleMessage(text.substr(start, end - start));
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  return 0;
}
