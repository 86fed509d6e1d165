#include "memory_verdict.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {
namespace {

std::vector<std::uint64_t> WindowValues(const std::vector<RssSample> &samples, double from,
                                        double to) {
  std::vector<std::uint64_t> values;
  for (const RssSample &sample : samples) {
    if (sample.second >= from && sample.second < to) {
      values.push_back(sample.rssKiB);
    }
  }
  return values;
}

std::string MiB(std::uint64_t kib) {
  const double mib = static_cast<double>(kib) / 1024.0;
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", mib);
  return text;
}

} // namespace

std::uint64_t MedianKiB(std::vector<std::uint64_t> values) {
  if (values.empty()) {
    return 0;
  }
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                   values.end());
  const std::uint64_t upper = values[middle];
  if (values.size() % 2 == 1) {
    return upper;
  }
  const std::uint64_t lower =
      *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
  return lower + (upper - lower) / 2;
}

MemoryVerdict JudgeMemory(const std::vector<RssSample> &samples, const MemoryRules &rules) {
  MemoryVerdict verdict;
  const double last = samples.empty() ? 0 : samples.back().second;
  const double baselineEnd = rules.warmUpSeconds + rules.windowSeconds;
  // The last window reaches back from just past the last sample.
  const double endStart = last + 0.5 - rules.windowSeconds;
  const std::vector<std::uint64_t> baseline =
      WindowValues(samples, rules.warmUpSeconds, baselineEnd);
  const std::vector<std::uint64_t> end = WindowValues(samples, endStart, last + 1);
  if (endStart < baselineEnd || baseline.empty() || end.empty()) {
    verdict.explanation = "not judged: the run needs samples over at least " +
                          std::to_string(static_cast<long long>(
                              std::ceil(rules.warmUpSeconds + 2 * rules.windowSeconds))) +
                          " s for a warm-up and two separate windows";
    return verdict;
  }
  verdict.judged = true;
  verdict.baselineKiB = MedianKiB(baseline);
  verdict.endKiB = MedianKiB(end);
  const auto share = static_cast<std::uint64_t>(static_cast<double>(verdict.baselineKiB) *
                                                rules.tolerancePercent / 100.0);
  const double minutes = (endStart - rules.warmUpSeconds) / 60.0;
  verdict.allowedKiB = std::max(share, rules.slackKiB) +
                       static_cast<std::uint64_t>(rules.growthKiBPerMinute * minutes);
  const std::uint64_t grown =
      verdict.endKiB > verdict.baselineKiB ? verdict.endKiB - verdict.baselineKiB : 0;
  verdict.flat = grown <= verdict.allowedKiB;
  verdict.explanation = "median of the last window " + MiB(verdict.endKiB) + " vs " +
                        MiB(verdict.baselineKiB) + " after warm-up: grew " + MiB(grown) +
                        ", allowed " + MiB(verdict.allowedKiB);
  return verdict;
}

} // namespace bench
