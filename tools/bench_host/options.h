// The driver's command line.
#pragma once

#include <cstddef>
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

// Reads argv into `options` (whose fields start as the defaults). Returns
// false with `error` set on a mistake.
bool ParseOptions(int argc, const char *const argv[], Options &options, std::string &error);

} // namespace bench
