#include "options.h"

#include <cstdlib>
#include <sstream>

namespace host_driver {
namespace {

using Reader = bool (*)(const std::string &value, Options &options);

struct OptionRow {
  const char *command; // the one that takes it; null: both
  const char *name;
  const char *help;
  Reader read;
};

// A count in decimal digits; false for anything else (a sign included).
template <typename Count> bool ReadCount(const std::string &text, Count &count) {
  char *end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || text[0] == '-') {
    return false;
  }
  count = static_cast<Count>(value);
  return true;
}

// A number of seconds, 0 or more; false for anything else.
bool ReadSeconds(const std::string &text, double &seconds) {
  char *end = nullptr;
  seconds = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && seconds >= 0;
}

bool ReadPositive(const std::string &text, double &value) {
  return ReadSeconds(text, value) && value > 0;
}

bool ReadText(const std::string &text, std::string &value) {
  value = text;
  return !text.empty();
}

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

bool ReadStripPictures(const std::string &text, StripPictures &pictures) {
  if (text == "fitted" || text == "small-png") {
    pictures = text == "fitted" ? StripPictures::Fitted : StripPictures::SmallPngFiles;
    return true;
  }
  return false;
}

template <typename KiB> bool ReadKiBFromMiB(const std::string &text, KiB &kib) {
  double mib = 0;
  const bool read = ReadSeconds(text, mib);
  kib = static_cast<KiB>(mib * 1024);
  return read;
}

const char kBench[] = "bench";
const char kSoak[] = "soak";

const OptionRow kOptions[] = {
    {nullptr, "--key-image FILE", "the PNG that key settings name (the committed one)",
     [](const std::string &v, Options &o) { return ReadText(v, o.keyImagePath); }},
    {nullptr, "--hang-guard S", "bound of every single wait (60)",
     [](const std::string &v, Options &o) { return ReadPositive(v, o.hangGuardSeconds); }},
    {kBench, "--json FILE", "also write the figures as JSON",
     [](const std::string &v, Options &o) { return ReadText(v, o.jsonPath); }},
    {kBench, "--sequential N", "round trips one at a time (2000; 0 skips)",
     [](const std::string &v, Options &o) { return ReadCount(v, o.sequential); }},
    {kBench, "--pipelined N", "events sent at once (10000; 0 skips)",
     [](const std::string &v, Options &o) { return ReadCount(v, o.pipelined); }},
    {kBench, "--stalled N", "events sent while the host stops reading (10000; 0 skips)",
     [](const std::string &v, Options &o) { return ReadCount(v, o.stalled); }},
    {kBench, "--presses N", "key releases timed to the desktop window (1000; 0 skips)",
     [](const std::string &v, Options &o) { return ReadCount(v, o.presses); }},
    {kBench, "--turns N", "dial turns through a list, sent at once (2000; 0 skips)",
     [](const std::string &v, Options &o) { return ReadCount(v, o.turns); }},
    {kBench, "--dial-library DIR",
     "the dial list's thumbnails: DIR's files, shared in turn by its 200 entries (the key image)",
     [](const std::string &v, Options &o) { return ReadText(v, o.dialLibrary); }},
    {kBench, "--strip-pictures HOW",
     "what the plug-in shows of a thumbnail: fitted (to the strip) or small-png (builds "
     "before that: a PNG of at most 64 KiB as it is)",
     [](const std::string &v, Options &o) { return ReadStripPictures(v, o.stripPictures); }},
    {kBench, "--idle-seconds S", "idle window for counting wake-ups (5; 0 skips)",
     [](const std::string &v, Options &o) { return ReadSeconds(v, o.idleSeconds); }},
    {kBench, "--stall-seconds S", "how long the host stops reading (5)",
     [](const std::string &v, Options &o) { return ReadSeconds(v, o.stallSeconds); }},
    {kBench, "--image-mib A,B,...", "large key images for the peak memory, MiB (64,256; none)",
     [](const std::string &v, Options &o) { return ReadSizes(v, o.imageMiB); }},
    {kBench, "--run-limit S", "bound of the whole run (1800)",
     [](const std::string &v, Options &o) {
       return ReadSeconds(v, o.runLimitSeconds) && o.runLimitSeconds >= 1;
     }},
    {kSoak, "--seconds S", "how long the load runs (300)",
     [](const std::string &v, Options &o) { return ReadPositive(v, o.seconds); }},
    {kSoak, "--events-per-ms N", "Stream Deck events per millisecond (1)",
     [](const std::string &v, Options &o) { return ReadPositive(v, o.eventsPerMs); }},
    {kSoak, "--notifications-per-ms N", "desktop notifications per millisecond (2)",
     [](const std::string &v, Options &o) { return ReadPositive(v, o.notificationsPerMs); }},
    {kSoak, "--notifiers N", "threads that share the notifications (2)",
     [](const std::string &v, Options &o) { return ReadCount(v, o.notifiers) && o.notifiers > 0; }},
    {kSoak, "--warm-up S", "seconds left out of the memory verdict (60)",
     [](const std::string &v, Options &o) { return ReadSeconds(v, o.memory.warmUpSeconds); }},
    {kSoak, "--window S", "seconds of each window compared (30)",
     [](const std::string &v, Options &o) { return ReadPositive(v, o.memory.windowSeconds); }},
    {kSoak, "--rss-tolerance P", "growth allowed, percent of the baseline (10)",
     [](const std::string &v, Options &o) { return ReadSeconds(v, o.memory.tolerancePercent); }},
    {kSoak, "--rss-slack-mib M", "growth allowed in any case, MiB (1)",
     [](const std::string &v, Options &o) { return ReadKiBFromMiB(v, o.memory.slackKiB); }},
    {kSoak, "--rss-growth-mib-per-min M", "more growth allowed per minute between the windows (0)",
     [](const std::string &v, Options &o) {
       return ReadKiBFromMiB(v, o.memory.growthKiBPerMinute);
     }},
    {kSoak, "--seed N", "the pseudo-random choice of events and notifications (1)",
     [](const std::string &v, Options &o) { return ReadCount(v, o.seed); }},
    {kSoak, "--plugin-output FILE", "keep the plug-in's output there (a private file)",
     [](const std::string &v, Options &o) { return ReadText(v, o.outputPath); }},
};

const char kBenchUsage[] =
    "usage: zorvane-host-driver bench PLUGIN [options]\n"
    "  runs the plug-in executable PLUGIN as the Stream Deck application does and\n"
    "  prints its figures; exits with 1 when a reply is wrong, missing or late.\n";

const char kSoakUsage[] =
    "usage: zorvane-host-driver soak PLUGIN [options]\n"
    "  runs the plug-in executable PLUGIN for a long time under mixed Stream Deck\n"
    "  events, key presses and desktop notifications; exits with 1 when a reply or\n"
    "  command is wrong or missing, the plug-in writes anything, fails to exit with\n"
    "  0, or its resident memory grows after the warm-up.\n";

bool Takes(const OptionRow &row, const std::string &command) {
  return row.command == nullptr || command == row.command;
}

std::string OptionsText(const std::string &command) {
  std::string text;
  for (const OptionRow &row : kOptions) {
    if (Takes(row, command)) {
      const std::string name = row.name;
      text +=
          "  " + name + std::string(name.size() < 28 ? 28 - name.size() : 1, ' ') + row.help + "\n";
    }
  }
  return text;
}

bool ReadOption(const std::string &name, const std::string &value, Options &options) {
  for (const OptionRow &row : kOptions) {
    const std::string rowName = row.name;
    if (Takes(row, options.command) && rowName.substr(0, rowName.find(' ')) == name) {
      return row.read(value, options);
    }
  }
  return false;
}

} // namespace

std::string UsageText(const std::string &command) {
  const std::string bench = kBenchUsage + OptionsText(kBench);
  const std::string soak = kSoakUsage + OptionsText(kSoak);
  return command == kBench ? bench : command == kSoak ? soak : bench + soak;
}

bool ParseOptions(int argc, const char *const argv[], Options &options, std::string &error) {
  options.command = argc < 2 ? "" : argv[1];
  if (options.command != kBench && options.command != kSoak) {
    error = argc < 2 ? "a command is missing" : "unknown command: " + options.command;
    return false;
  }
  if (argc < 3 || argv[2][0] == '-') {
    error = "the plug-in executable is missing";
    return false;
  }
  options.pluginPath = argv[2];
  for (int i = 3; i < argc; i += 2) {
    const std::string name = argv[i];
    if (i + 1 >= argc) {
      error = name + " needs a value";
      return false;
    }
    if (!ReadOption(name, argv[i + 1], options)) {
      error = "bad option or value: " + name + " " + argv[i + 1];
      return false;
    }
  }
  return true;
}

} // namespace host_driver
