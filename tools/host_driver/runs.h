// The driver's two commands. The benchmark: one long session of the plug-in
// through every phase, and the peak memory of large key images. The soak:
// the real plug-in for minutes under mixed Stream Deck events, key presses
// and desktop notifications, with every frame and command checked and its
// resident memory sampled once a second. See README.md, "Measuring it" and "Soak".
#pragma once

#include "measures.h"
#include "options.h"

#include <string>
#include <vector>

namespace host_driver {

// Start-up, idle, sequential, pipelined and stalled bursts, key releases to
// the desktop window, and the exit, in one plug-in process.
void RunSession(const Options &options, std::vector<Figure> &figures);

// One fresh plug-in per size in options.imageMiB; the files are written in `folder`.
void RunImagePeaks(const Options &options, const std::string &folder, std::vector<Figure> &figures);

struct SoakResult {
  std::vector<Figure> figures;
  // Why the run failed when the load itself went through: the memory
  // verdict, the plug-in's output. Empty: passed.
  std::vector<std::string> failures;
  // What qualifies the figures without failing the run: a notification rate
  // below the asked one.
  std::vector<std::string> notes;
};

// Runs the soak. Throws DriverFailure on a fault that ends the run at once: a
// wrong, lost or unexpected frame or command, a refused notification, a
// plug-in that died, hung or did not exit with 0.
SoakResult RunSoak(const Options &options);

} // namespace host_driver
