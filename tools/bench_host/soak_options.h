// The soak driver's command line.
#pragma once

#include "memory_verdict.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

struct SoakOptions {
  std::string pluginPath;
  std::string keyImagePath;
  std::string outputPath; // the plug-in's standard output and error; empty: a private file
  double seconds = 300;
  double eventsPerMs = 1;
  double notificationsPerMs = 2;
  std::size_t notifiers = 2; // threads that share the notifications
  std::uint64_t seed = 1;
  MemoryRules memory;
  double hangGuardSeconds = 60; // bound of every single wait
};

std::string SoakUsageText();

// Reads argv into `options` (whose fields start as the defaults). Returns
// false with `error` set on a mistake.
bool ParseSoakOptions(int argc, const char *const argv[], SoakOptions &options, std::string &error);

} // namespace bench
