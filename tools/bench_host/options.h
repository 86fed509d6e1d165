// The driver's command line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Options {
  std::string pluginPath;
  std::string keyImagePath;
  std::string jsonPath; // empty: no JSON file
  std::size_t sequential = 2000;
  std::size_t pipelined = 10000;
  std::size_t stalled = 10000;
  std::size_t presses = 1000;
  double idleSeconds = 5;
  double stallSeconds = 5;
  std::vector<std::size_t> imageMiB{64, 256};
  double hangGuardSeconds = 60;  // bound of every single wait
  double runLimitSeconds = 1800; // bound of the whole run
};

// The usage text.
std::string UsageText();

// A count in decimal digits; false for anything else (a sign included).
bool ReadCount(const std::string &text, std::size_t &count);
// A number of seconds, 0 or more; false for anything else.
bool ReadSeconds(const std::string &text, double &seconds);

// Reads a driver's command line, "PLUGIN --name value ...": the plug-in's
// path, then each pair through `readOption`, which is false for a name or
// value it does not take. Returns false with `error` set on a mistake.
bool ParseDriverArguments(
    int argc, const char *const argv[], std::string &pluginPath, std::string &error,
    const std::function<bool(const std::string &name, const std::string &value)> &readOption);

// Reads argv into `options` (whose fields start as the defaults). Returns
// false with `error` set on a mistake.
bool ParseOptions(int argc, const char *const argv[], Options &options, std::string &error);

} // namespace bench
