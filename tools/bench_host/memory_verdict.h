// Whether the plug-in's resident memory stayed flat through a long run.
//
// The run samples VmRSS once a second. The first `warmUpSeconds` are left out:
// in them the process fills its caches, the allocator its arenas, and a
// sanitizer its own structures (AddressSanitizer's quarantine of freed
// blocks, ThreadSanitizer's shadow of the heap it has touched). After that
// two windows of `windowSeconds` each are compared by their medians: the one
// that starts when the warm-up ends (the baseline) and the last one of the
// run. Medians make one-second spikes (a burst of frames in flight, a
// sanitizer's periodic flush) count for nothing; what moves them is memory
// that stays. The run is flat when the last median exceeds the baseline by no
// more than the larger of `tolerancePercent` of the baseline and
// `slackKiB`: a fixed slack for small processes whose page-level noise is a
// large share, a share for sanitized ones whose allocators hand memory back
// in large steps.
//
// A sanitized build grows by itself: the sanitizer's shadow and bookkeeping
// follow every new address that the short-lived sender threads touch (their
// stacks come and go), while the same load leaves an uninstrumented build
// flat. For such builds `growthKiBPerMinute` adds an allowance for each minute
// between the two windows' middles: the verdict then still catches memory
// that piles up faster than the sanitizer's own creep.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct RssSample {
  double second = 0; // since the soak began
  std::uint64_t rssKiB = 0;
};

struct MemoryRules {
  double warmUpSeconds = 60;
  double windowSeconds = 30;
  double tolerancePercent = 10;
  std::uint64_t slackKiB = 1024;
  double growthKiBPerMinute = 0;
};

struct MemoryVerdict {
  bool judged = false; // false: too few samples for two separate windows
  bool flat = false;
  std::uint64_t baselineKiB = 0; // median of the window after the warm-up
  std::uint64_t endKiB = 0;      // median of the last window
  std::uint64_t allowedKiB = 0;  // the largest growth that still counts as flat
  std::string explanation;
};

// The median of `values` (the mean of the two middle ones for an even
// count, rounded down); 0 for none.
std::uint64_t MedianKiB(std::vector<std::uint64_t> values);

// Judges `samples` (in time order) by `rules`. Not judged, and not flat, when
// the run is too short for two windows that do not overlap after the warm-up,
// or a window holds no sample.
MemoryVerdict JudgeMemory(const std::vector<RssSample> &samples, const MemoryRules &rules);

} // namespace bench
