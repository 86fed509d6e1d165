#include "soak_options.h"

#include "options.h"

namespace bench {
namespace {

bool ReadPositive(const std::string &text, double &value) {
  return ReadSeconds(text, value) && value > 0;
}

bool ReadKiBFromMiB(const std::string &text, std::uint64_t &kib) {
  double mib = 0;
  if (!ReadSeconds(text, mib)) {
    return false;
  }
  kib = static_cast<std::uint64_t>(mib * 1024);
  return true;
}

bool ReadSeed(const std::string &text, std::uint64_t &seed) {
  std::size_t value = 0;
  if (!ReadCount(text, value)) {
    return false;
  }
  seed = value;
  return true;
}

bool ReadOption(const std::string &name, const std::string &value, SoakOptions &options) {
  if (name == "--seconds") {
    return ReadPositive(value, options.seconds);
  }
  if (name == "--events-per-ms") {
    return ReadPositive(value, options.eventsPerMs);
  }
  if (name == "--notifications-per-ms") {
    return ReadPositive(value, options.notificationsPerMs);
  }
  if (name == "--notifiers") {
    return ReadCount(value, options.notifiers) && options.notifiers > 0;
  }
  if (name == "--warm-up") {
    return ReadSeconds(value, options.memory.warmUpSeconds);
  }
  if (name == "--window") {
    return ReadPositive(value, options.memory.windowSeconds);
  }
  if (name == "--rss-tolerance") {
    return ReadSeconds(value, options.memory.tolerancePercent);
  }
  if (name == "--rss-slack-mib") {
    return ReadKiBFromMiB(value, options.memory.slackKiB);
  }
  if (name == "--rss-growth-mib-per-min") {
    double mib = 0;
    const bool read = ReadSeconds(value, mib);
    options.memory.growthKiBPerMinute = mib * 1024;
    return read;
  }
  if (name == "--seed") {
    return ReadSeed(value, options.seed);
  }
  if (name == "--key-image" || name == "--plugin-output") {
    (name == "--key-image" ? options.keyImagePath : options.outputPath) = value;
    return !value.empty();
  }
  if (name == "--hang-guard") {
    return ReadPositive(value, options.hangGuardSeconds);
  }
  return false;
}

} // namespace

std::string SoakUsageText() {
  return "usage: zorvane-soak PLUGIN [options]\n"
         "  runs the plug-in executable PLUGIN for a long time under mixed Stream Deck\n"
         "  events, key presses and desktop notifications; exits with 1 when a reply or\n"
         "  command is wrong or missing, the plug-in writes anything, fails to exit with\n"
         "  0, or its resident memory grows after the warm-up.\n"
         "  --seconds S                how long the load runs (300)\n"
         "  --events-per-ms N          Stream Deck events per millisecond (1)\n"
         "  --notifications-per-ms N   desktop notifications per millisecond (2)\n"
         "  --notifiers N              threads that share the notifications (2)\n"
         "  --warm-up S                seconds left out of the memory verdict (60)\n"
         "  --window S                 seconds of each window compared (30)\n"
         "  --rss-tolerance P          growth allowed, percent of the baseline (10)\n"
         "  --rss-slack-mib M          growth allowed in any case, MiB (1)\n"
         "  --rss-growth-mib-per-min M more growth allowed per minute between the\n"
         "                             windows, for sanitized builds (0)\n"
         "  --seed N                   the pseudo-random choice of events (1)\n"
         "  --key-image FILE           the PNG that key settings name (the committed one)\n"
         "  --plugin-output FILE       keep the plug-in's output there (a private file)\n"
         "  --hang-guard S             bound of every single wait (60)\n";
}

bool ParseSoakOptions(int argc, const char *const argv[], SoakOptions &options,
                      std::string &error) {
  return ParseDriverArguments(argc, argv, options.pluginPath, error,
                              [&options](const std::string &name, const std::string &value) {
                                return ReadOption(name, value, options);
                              });
}

} // namespace bench
