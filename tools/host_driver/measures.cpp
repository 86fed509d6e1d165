#include "measures.h"

#include "driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace host_driver {

double KiBToMiB(std::uint64_t kib) { return static_cast<double>(kib) / 1024.0; }

std::string FormatNumber(double value) {
  const double size = std::fabs(value);
  const int decimals = size >= 100 || value == std::floor(value) ? 0 : size >= 10 ? 1 : 2;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string MeetsTarget(const Figure &figure) {
  switch (figure.goal) {
  case Goal::AtMost:
    return figure.value <= figure.target ? "yes" : "no";
  case Goal::AtLeast:
    return figure.value >= figure.target ? "yes" : "no";
  case Goal::Report:
  case Goal::None:
    break;
  }
  return std::string();
}

std::string TargetText(const Figure &figure) {
  const std::string amount = FormatNumber(figure.target) + " " + figure.unit;
  switch (figure.goal) {
  case Goal::AtMost:
    return "<= " + amount;
  case Goal::AtLeast:
    return ">= " + amount;
  case Goal::Report:
    return "was " + amount;
  case Goal::None:
    break;
  }
  return "-";
}

void PrintTable(const std::vector<Figure> &figures, std::ostream &out) {
  const int labelWidth = 60;
  out << std::left << std::setw(labelWidth) << "figure" << std::setw(16) << "value" << std::setw(18)
      << "target"
      << "met\n";
  for (const Figure &figure : figures) {
    out << std::left << std::setw(labelWidth) << figure.label << std::setw(16)
        << (FormatNumber(figure.value) + " " + figure.unit) << std::setw(18) << TargetText(figure)
        << MeetsTarget(figure) << "\n";
    if (!figure.note.empty()) {
      out << "    (" << figure.note << ")\n";
    }
  }
}

Json::Value FiguresAsJson(const std::vector<Figure> &figures) {
  Json::Value all(Json::objectValue);
  for (const Figure &figure : figures) {
    Json::Value entry(Json::objectValue);
    entry["label"] = figure.label;
    entry["value"] = figure.value;
    entry["unit"] = figure.unit;
    entry["target"] = TargetText(figure);
    const std::string meets = MeetsTarget(figure);
    if (!meets.empty()) {
      entry["met"] = meets == "yes";
    }
    if (!figure.note.empty()) {
      entry["note"] = figure.note;
    }
    all[figure.key] = entry;
  }
  return all;
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  const double rank = std::ceil(fraction * static_cast<double>(values.size()));
  const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
  return values[std::min(index, values.size() - 1)];
}

namespace {

std::string ProcFolder(pid_t pid) { return "/proc/" + std::to_string(pid); }

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
  const std::optional<char> state = StatusState(*status);
  if (!runNs || !voluntary || !involuntary || !state) {
    throw DriverFailure("unexpected format in " + taskFolder + "/schedstat or status");
  }
  return ThreadCounters{*runNs, *voluntary + *involuntary, *state};
}

} // namespace

std::optional<std::uint64_t> StatusField(const std::string &statusText, const std::string &name) {
  const std::string lines = "\n" + statusText;
  const std::size_t found = lines.find("\n" + name + ":");
  if (found == std::string::npos) {
    return std::nullopt;
  }
  return ParseNumber(lines, found + name.size() + 2);
}

std::optional<std::uint64_t> SchedstatRunNs(const std::string &schedstatText) {
  return ParseNumber(schedstatText, 0);
}

std::optional<char> StatusState(const std::string &statusText) {
  const std::string lines = "\n" + statusText;
  const std::size_t found = lines.find("\nState:");
  if (found == std::string::npos) {
    return std::nullopt;
  }
  const std::size_t letter = lines.find_first_not_of(" \t", found + 7);
  if (letter == std::string::npos || lines[letter] == '\n') {
    return std::nullopt;
  }
  return lines[letter];
}

Memory ReadMemory(pid_t pid) {
  const std::string path = ProcFolder(pid) + "/status";
  const std::string status = ReadFile(path);
  const std::optional<std::uint64_t> rss = StatusField(status, "VmRSS");
  const std::optional<std::uint64_t> hwm = StatusField(status, "VmHWM");
  if (!rss || !hwm) {
    throw DriverFailure(path + " has no VmRSS or VmHWM: the plug-in process has ended");
  }
  return Memory{*rss, *hwm};
}

bool ResetPeakMemory(pid_t pid) {
  // Writing 5 to clear_refs sets the peak resident size to the current one.
  std::ofstream file(ProcFolder(pid) + "/clear_refs");
  file << "5";
  file.close();
  return static_cast<bool>(file);
}

ProcessSample SampleThreads(pid_t pid) {
  const std::string tasks = ProcFolder(pid) + "/task";
  DIR *folder = ::opendir(tasks.c_str());
  if (folder == nullptr) {
    throw DriverFailure("cannot list " + tasks + ": the plug-in process is gone");
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
    throw DriverFailure("the plug-in process has no threads left: it has ended");
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

bool QuietWatch::StillSince(const ProcessSample &sample) const {
  if (!mPrevious || mPrevious->size() != sample.size()) {
    return false;
  }
  for (const auto &[tid, now] : sample) {
    const auto before = mPrevious->find(tid);
    if (before == mPrevious->end() || before->second.runNs != now.runNs || now.state != 'S') {
      return false;
    }
  }
  return true;
}

bool QuietWatch::Add(const ProcessSample &sample, TimePoint at) {
  if (!StillSince(sample)) {
    mQuiet = false;
  } else if (!mQuiet) {
    mQuiet = true;
    mQuietSince = mPreviousAt;
  }
  mPrevious = sample;
  mPreviousAt = at;
  return mQuiet && at - mQuietSince >= mHold;
}

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
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", KiBToMiB(kib));
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

} // namespace host_driver
