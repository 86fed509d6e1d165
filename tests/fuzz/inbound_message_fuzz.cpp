// Fuzz target: any text from the Stream Deck application, handled by the real
// dispatch and plug-in with recorders in place of the session and the sender.
// Nothing may crash, hang or leak, whatever the text, and what the plug-in
// sends and queues must hold the properties of fuzz_properties.h.
#include "fuzz/fuzz_properties.h"
#include "support/recorded_plugin.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef ZORVANE_LIBFUZZER
namespace {

// How deep brackets and braces nest anywhere in the text, strings or not.
int BracketDepth(const std::string &text) {
  int depth = 0;
  int deepest = 0;
  for (const char c : text) {
    depth += c == '[' || c == '{' ? 1 : c == ']' || c == '}' ? -1 : 0;
    deepest = std::max(deepest, depth);
  }
  return deepest;
}

} // namespace
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
#ifdef ZORVANE_LIBFUZZER
  // Under the fuzzer's instrumentation, one input nested hundreds of levels
  // deep costs as much as thousands of others, and the fuzzer makes ever more
  // of them from the ones it keeps, until they take the whole run. Deep
  // nesting has tests of its own (the reader's limit, deep payloads) and the
  // saved inputs that every test run replays hold one; the fuzzer leaves it
  // out of its corpus and spends its runs on breadth.
  if (BracketDepth(text) > 64) {
    return -1;
  }
#endif
  RecordedPlugin recorded;
  fuzz::IntroducedContexts contexts;
  // Several messages per input, one per line, so that a key can appear first
  // and then be pressed, changed or inspected.
  std::string::size_type start = 0;
  while (start <= text.size()) {
    const std::string::size_type end = text.find('\n', start);
    const std::string message = text.substr(start, end - start);
    contexts.AddFromEvent(message);
    recorded.channel.HandleMessage(message);
    fuzz::CheckSentAndQueued(recorded.session, recorded.commands, contexts);
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  return 0;
}
