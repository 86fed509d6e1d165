// What the driver measures and how it reports it: the figures, what the
// kernel knows about the plug-in process, and the verdict on its memory.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <json/json.h>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <vector>

namespace host_driver {

// The measured figures: a table for people, JSON for tools.

// How a figure compares with its target: at most, at least, reported next to
// the value it had before the hot-path work, or reported alone.
enum class Goal { AtMost, AtLeast, Report, None };

struct Figure {
  std::string key;   // the JSON name, e.g. "cpu_per_event_sequential_us"
  std::string label; // the table's words
  double value;
  std::string unit;
  Goal goal;
  double target;         // the bound, or the earlier value for Goal::Report
  std::string note = {}; // anything that qualifies the value
};

// "yes", "no", or "" for a figure that is only reported.
std::string MeetsTarget(const Figure &figure);

// "<= 45 us", ">= 20000 /s", "was 11 ms", or "-".
std::string TargetText(const Figure &figure);

double KiBToMiB(std::uint64_t kib);

// The value with as many decimals as its size needs.
std::string FormatNumber(double value);

void PrintTable(const std::vector<Figure> &figures, std::ostream &out);

Json::Value FiguresAsJson(const std::vector<Figure> &figures);

// The value at `fraction` (0..1) of the sorted values, nearest rank; 0 for none.
double Percentile(std::vector<double> values, double fraction);

// What the kernel knows about the plug-in process: memory from
// /proc/<pid>/status, and per thread the run time (schedstat, in ns) and the
// context switches (status), from /proc/<pid>/task/<tid>/.

// The number of a "Name:   1234 kB" line of a status text; nullopt when the
// line is missing or holds no number.
std::optional<std::uint64_t> StatusField(const std::string &statusText, const std::string &name);

// The run time in ns: the first of the three numbers of a schedstat text.
std::optional<std::uint64_t> SchedstatRunNs(const std::string &schedstatText);

// The letter of the "State:" line of a status text ('S' for sleeping, 'R'
// for running or ready to run, ...); nullopt when the line is missing.
std::optional<char> StatusState(const std::string &statusText);

struct Memory {
  std::uint64_t rssKiB = 0;
  std::uint64_t hwmKiB = 0;
};

// VmRSS and VmHWM; throws DriverFailure when the process is gone.
Memory ReadMemory(pid_t pid);

// Starts the process's VmHWM afresh from its VmRSS, so that the next reading
// gives the peak from now on; false when the kernel does not allow it.
bool ResetPeakMemory(pid_t pid);

struct ThreadCounters {
  std::uint64_t runNs = 0;
  std::uint64_t switches = 0; // voluntary and involuntary
  char state = '?';           // the letter of the "State:" line
};

// Every live thread's counters, by thread id. Throws DriverFailure when the
// process is gone.
using ProcessSample = std::map<pid_t, ThreadCounters>;
ProcessSample SampleThreads(pid_t pid);

struct Usage {
  std::uint64_t runNs = 0;
  std::uint64_t switches = 0;
  // Threads that ended between the samples: what they did after the first
  // sample is missing from the totals.
  std::size_t endedThreads = 0;
};

// What the threads did between two samples. A thread found only in `after`
// started in between and counts whole.
Usage UsageBetween(const ProcessSample &before, const ProcessSample &after);

// When a process has finished its work, seen from the outside: fed samples
// of its threads one after the other, it finds the moment from which no
// thread has run and every one sleeps (none ready to run, none waiting for a
// device), and says so once that has lasted `hold`. A thread that waits for
// the CPU on a busy machine is ready to run, so the load of other processes
// delays the verdict but does not make a busy process look quiet.
class QuietWatch {
public:
  using TimePoint = std::chrono::steady_clock::time_point;

  explicit QuietWatch(std::chrono::steady_clock::duration hold) : mHold(hold) {}

  // Adds the sample taken at `at`; true once the process has been quiet for `hold`.
  bool Add(const ProcessSample &sample, TimePoint at);
  // The time of the last sample before the quiet began: the work ended
  // between that sample and the next.
  TimePoint QuietSince() const { return mQuietSince; }

private:
  bool StillSince(const ProcessSample &sample) const;

  const std::chrono::steady_clock::duration mHold;
  std::optional<ProcessSample> mPrevious;
  TimePoint mPreviousAt;
  bool mQuiet = false;
  TimePoint mQuietSince;
};

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

} // namespace host_driver
