// What the kernel knows about the plug-in process: memory from
// /proc/<pid>/status, and per thread the run time (schedstat, in ns) and the
// context switches (status), from /proc/<pid>/task/<tid>/.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace bench {

// The number of a "Name:   1234 kB" line of a status text; nullopt when the
// line is missing or holds no number.
std::optional<std::uint64_t> StatusField(const std::string &statusText, const std::string &name);

// The run time in ns: the first of the three numbers of a schedstat text.
std::optional<std::uint64_t> SchedstatRunNs(const std::string &schedstatText);

struct Memory {
  std::uint64_t rssKiB = 0;
  std::uint64_t hwmKiB = 0;
};

// VmRSS and VmHWM; throws BenchFailure when the process is gone.
Memory ReadMemory(pid_t pid);

struct ThreadCounters {
  std::uint64_t runNs = 0;
  std::uint64_t switches = 0; // voluntary and involuntary
};

// Every live thread's counters, by thread id. Throws BenchFailure when the
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

} // namespace bench
