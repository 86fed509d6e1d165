// What the driver measures: one long session of the plug-in through every
// phase, and the peak memory of one large key image in a fresh plug-in each.
#pragma once

#include "figures.h"
#include "options.h"

#include <string>
#include <vector>

namespace bench {

// Start-up, idle, sequential, pipelined and stalled bursts, key releases to
// the desktop window, and the exit, in one plug-in process.
void RunSession(const Options &options, std::vector<Figure> &figures);

// One fresh plug-in per size in options.imageMiB; the files are written in `folder`.
void RunImagePeaks(const Options &options, const std::string &folder, std::vector<Figure> &figures);

} // namespace bench
