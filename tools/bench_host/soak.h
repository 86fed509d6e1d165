// The soak: the real plug-in for minutes under mixed Stream Deck events, key
// presses and desktop notifications, with every frame and command checked and
// its resident memory sampled once a second. See README.md, "Soak".
#pragma once

#include "figures.h"
#include "soak_options.h"

#include <string>
#include <vector>

namespace bench {

struct SoakResult {
  std::vector<Figure> figures;
  // Why the run failed when the load itself went through: the memory
  // verdict, the plug-in's output. Empty: passed.
  std::vector<std::string> failures;
  // What qualifies the figures without failing the run: a notification rate
  // below the asked one.
  std::vector<std::string> notes;
};

// Runs the soak. Throws BenchFailure on a fault that ends the run at once: a
// wrong, lost or unexpected frame or command, a refused notification, a
// plug-in that died, hung or did not exit with 0.
SoakResult RunSoak(const SoakOptions &options);

} // namespace bench
