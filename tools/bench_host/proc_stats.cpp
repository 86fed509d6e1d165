#include "proc_stats.h"

#include "bench_failure.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>

namespace bench {
namespace {

std::optional<std::string> ReadText(const std::string &path) {
  std::ifstream file(path);
  if (!file.is_open()) {
    return std::nullopt;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string ProcFolder(pid_t pid) { return "/proc/" + std::to_string(pid); }

std::string ReadOrFail(const std::string &path) {
  std::optional<std::string> text = ReadText(path);
  if (!text) {
    throw BenchFailure("cannot read " + path + ": the plug-in process is gone");
  }
  return *text;
}

std::optional<std::uint64_t> ParseNumber(const std::string &text, std::size_t from) {
  const std::size_t start = text.find_first_not_of(" \t", from);
  if (start == std::string::npos || text[start] < '0' || text[start] > '9') {
    return std::nullopt;
  }
  return std::strtoull(text.c_str() + start, nullptr, 10);
}

std::optional<ThreadCounters> ReadThread(const std::string &taskFolder) {
  const std::optional<std::string> schedstat = ReadText(taskFolder + "/schedstat");
  const std::optional<std::string> status = ReadText(taskFolder + "/status");
  if (!schedstat || !status) {
    return std::nullopt; // the thread ended while it was being read
  }
  const std::optional<std::uint64_t> runNs = SchedstatRunNs(*schedstat);
  const std::optional<std::uint64_t> voluntary = StatusField(*status, "voluntary_ctxt_switches");
  const std::optional<std::uint64_t> involuntary =
      StatusField(*status, "nonvoluntary_ctxt_switches");
  if (!runNs || !voluntary || !involuntary) {
    throw BenchFailure("unexpected format in " + taskFolder + "/schedstat or status");
  }
  return ThreadCounters{*runNs, *voluntary + *involuntary};
}

} // namespace

std::optional<std::uint64_t> StatusField(const std::string &statusText, const std::string &name) {
  const std::string label = name + ":";
  std::size_t lineStart = 0;
  while (lineStart < statusText.size()) {
    if (statusText.compare(lineStart, label.size(), label) == 0) {
      return ParseNumber(statusText, lineStart + label.size());
    }
    const std::size_t lineEnd = statusText.find('\n', lineStart);
    if (lineEnd == std::string::npos) {
      break;
    }
    lineStart = lineEnd + 1;
  }
  return std::nullopt;
}

std::optional<std::uint64_t> SchedstatRunNs(const std::string &schedstatText) {
  return ParseNumber(schedstatText, 0);
}

Memory ReadMemory(pid_t pid) {
  const std::string path = ProcFolder(pid) + "/status";
  const std::string status = ReadOrFail(path);
  const std::optional<std::uint64_t> rss = StatusField(status, "VmRSS");
  const std::optional<std::uint64_t> hwm = StatusField(status, "VmHWM");
  if (!rss || !hwm) {
    throw BenchFailure(path + " has no VmRSS or VmHWM: the plug-in process has ended");
  }
  return Memory{*rss, *hwm};
}

ProcessSample SampleThreads(pid_t pid) {
  const std::string tasks = ProcFolder(pid) + "/task";
  DIR *folder = ::opendir(tasks.c_str());
  if (folder == nullptr) {
    throw BenchFailure("cannot list " + tasks + ": the plug-in process is gone");
  }
  ProcessSample sample;
  while (const dirent *entry = ::readdir(folder)) {
    const pid_t tid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (tid <= 0) {
      continue; // "." and ".."
    }
    if (const std::optional<ThreadCounters> counters = ReadThread(tasks + "/" + entry->d_name)) {
      sample[tid] = *counters;
    }
  }
  ::closedir(folder);
  if (sample.empty()) {
    throw BenchFailure("the plug-in process has no threads left: it has ended");
  }
  return sample;
}

Usage UsageBetween(const ProcessSample &before, const ProcessSample &after) {
  Usage usage;
  for (const auto &[tid, now] : after) {
    const auto earlier = before.find(tid);
    const ThreadCounters start = earlier == before.end() ? ThreadCounters{} : earlier->second;
    usage.runNs += now.runNs - start.runNs;
    usage.switches += now.switches - start.switches;
  }
  for (const auto &entry : before) {
    if (after.count(entry.first) == 0) {
      ++usage.endedThreads;
    }
  }
  return usage;
}

} // namespace bench
