// The driver's command line: "bench PLUGIN [options]" or "soak PLUGIN
// [options]", read by one table of options that says which command takes each.
#pragma once

#include "driver.h"
#include "measures.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host_driver {

// What the plug-in under test shows on a dial's strip for an entry's
// thumbnail: the file decoded and fitted to the strip's picture, or, as
// builds before that did, a PNG file of at most 64 KiB as it is (and the
// action's own picture for any other file).
enum class StripPictures { Fitted, SmallPngFiles };

struct Options {
  std::string command; // "bench" or "soak"
  std::string pluginPath;
  std::string keyImagePath;
  double hangGuardSeconds = 60; // bound of every single wait
  // The benchmark's.
  std::string jsonPath; // empty: no JSON file
  std::size_t sequential = 2000;
  std::size_t pipelined = 10000;
  std::size_t stalled = 10000;
  std::size_t presses = 1000;
  std::size_t turns = 2000;
  std::string dialLibrary; // the thumbnails of the dial's list; empty: the key image alone
  StripPictures stripPictures = StripPictures::Fitted;
  double idleSeconds = 5;
  double stallSeconds = 5;
  std::vector<std::size_t> imageMiB{64, 256};
  double runLimitSeconds = 1800; // bound of the whole run
  // The soak's.
  std::string outputPath; // the plug-in's standard output and error; empty: a private file
  double seconds = 300;
  double eventsPerMs = 1;
  double notificationsPerMs = 2;
  std::size_t notifiers = 2; // threads that share the notifications
  std::uint64_t seed = 1;
  MemoryRules memory;

  std::chrono::milliseconds Guard() const {
    return std::chrono::milliseconds(static_cast<long long>(hangGuardSeconds * 1000));
  }
};

// The commands and the options of `command`; of both for any other.
std::string UsageText(const std::string &command);

// Reads argv, "COMMAND PLUGIN --name value ...", into `options` (whose fields
// start as the defaults). Returns false with `error` set on a mistake.
bool ParseOptions(int argc, const char *const argv[], Options &options, std::string &error);

// The two commands. Each prints its figures and returns the failures of a
// run that went through (none when it passed); a fault that ends the run at
// once throws DriverFailure. `folder` is the run's private runtime folder.
std::vector<std::string> RunBench(const Options &options, const std::string &folder);
std::vector<std::string> RunSoak(const Options &options, const std::string &folder);

} // namespace host_driver
