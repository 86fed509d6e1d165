#include "options.h"

#include <cstdlib>
#include <sstream>

namespace bench {
namespace {

// "64,256" or "none".
bool ReadSizes(const std::string &text, std::vector<std::size_t> &sizes) {
  sizes.clear();
  if (text == "none") {
    return true;
  }
  std::istringstream parts(text);
  std::string part;
  while (std::getline(parts, part, ',')) {
    std::size_t size = 0;
    if (!ReadCount(part, size) || size == 0) {
      return false;
    }
    sizes.push_back(size);
  }
  return !sizes.empty();
}

bool ReadOption(const std::string &name, const std::string &value, Options &options) {
  if (name == "--key-image") {
    options.keyImagePath = value;
    return !value.empty();
  }
  if (name == "--json") {
    options.jsonPath = value;
    return !value.empty();
  }
  if (name == "--sequential") {
    return ReadCount(value, options.sequential);
  }
  if (name == "--pipelined") {
    return ReadCount(value, options.pipelined);
  }
  if (name == "--stalled") {
    return ReadCount(value, options.stalled);
  }
  if (name == "--presses") {
    return ReadCount(value, options.presses);
  }
  if (name == "--idle-seconds") {
    return ReadSeconds(value, options.idleSeconds);
  }
  if (name == "--stall-seconds") {
    return ReadSeconds(value, options.stallSeconds);
  }
  if (name == "--image-mib") {
    return ReadSizes(value, options.imageMiB);
  }
  if (name == "--hang-guard") {
    return ReadSeconds(value, options.hangGuardSeconds) && options.hangGuardSeconds > 0;
  }
  if (name == "--run-limit") {
    return ReadSeconds(value, options.runLimitSeconds) && options.runLimitSeconds >= 1;
  }
  return false;
}

} // namespace

bool ReadCount(const std::string &text, std::size_t &count) {
  char *end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || text[0] == '-') {
    return false;
  }
  count = static_cast<std::size_t>(value);
  return true;
}

bool ReadSeconds(const std::string &text, double &seconds) {
  char *end = nullptr;
  seconds = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && seconds >= 0;
}

std::string UsageText() {
  return "usage: zorvane-bench-host PLUGIN [options]\n"
         "  runs the plug-in executable PLUGIN as the Stream Deck application does and\n"
         "  prints its figures; exits with 1 when a reply is wrong, missing or late.\n"
         "  --key-image FILE      the PNG that the settings name (default: the committed one)\n"
         "  --json FILE           also write the figures as JSON\n"
         "  --sequential N        round trips one at a time (2000; 0 skips)\n"
         "  --pipelined N         events sent at once (10000; 0 skips)\n"
         "  --stalled N           events sent while the host stops reading (10000; 0 skips)\n"
         "  --presses N           key releases timed to the desktop window (1000; 0 skips)\n"
         "  --idle-seconds S      idle window for counting wake-ups (5; 0 skips)\n"
         "  --stall-seconds S     how long the host stops reading (5)\n"
         "  --image-mib A,B,...   large key images for the peak memory, in MiB (64,256; none)\n"
         "  --hang-guard S        bound of every single wait (60)\n"
         "  --run-limit S         bound of the whole run (1800)\n";
}

bool ParseDriverArguments(
    int argc, const char *const argv[], std::string &pluginPath, std::string &error,
    const std::function<bool(const std::string &name, const std::string &value)> &readOption) {
  if (argc < 2 || argv[1][0] == '-') {
    error = "the plug-in executable is missing";
    return false;
  }
  pluginPath = argv[1];
  for (int i = 2; i < argc; i += 2) {
    const std::string name = argv[i];
    if (i + 1 >= argc) {
      error = name + " needs a value";
      return false;
    }
    if (!readOption(name, argv[i + 1])) {
      error = "bad option or value: " + name + " " + argv[i + 1];
      return false;
    }
  }
  return true;
}

bool ParseOptions(int argc, const char *const argv[], Options &options, std::string &error) {
  return ParseDriverArguments(argc, argv, options.pluginPath, error,
                              [&options](const std::string &name, const std::string &value) {
                                return ReadOption(name, value, options);
                              });
}

} // namespace bench
