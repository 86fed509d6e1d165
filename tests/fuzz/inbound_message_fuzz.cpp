// Fuzz target: any text from the Stream Deck application, handled by the real
// dispatch and plug-in with recorders in place of the session and the sender.
// Nothing may crash, hang or leak, whatever the text.
#include "support/recorded_plugin.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  RecordedPlugin recorded;
  // Several messages per input, one per line, so that a key can appear first
  // and then be pressed, changed or inspected.
  const std::string text(reinterpret_cast<const char *>(data), size);
  std::string::size_type start = 0;
  while (start <= text.size()) {
    const std::string::size_type end = text.find('\n', start);
    recorded.channel.HandleMessage(text.substr(start, end - start));
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  return 0;
}
