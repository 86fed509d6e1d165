// The measured figures: a table for people, JSON for tools.
#pragma once

#include <json/json.h>

#include <ostream>
#include <string>
#include <vector>

namespace bench {

// How a figure compares with its target: at most, at least, reported next to
// the value it had before the hot-path work, or reported alone.
enum class Goal { AtMost, AtLeast, Report, None };

struct Figure {
  std::string key;   // the JSON name, e.g. "cpu_per_event_sequential_us"
  std::string label; // the table's words
  double value = 0;
  std::string unit;
  Goal goal = Goal::Report;
  double target = 0; // the bound, or the earlier value for Goal::Report
  std::string note;  // anything that qualifies the value
};

Figure MakeFigure(std::string key, std::string label, double value, std::string unit, Goal goal,
                  double target, std::string note = std::string());

// "yes", "no", or "" for a figure that is only reported.
std::string MeetsTarget(const Figure &figure);

// "<= 45 us", ">= 20000 /s", "was 11 ms", or "-".
std::string TargetText(const Figure &figure);

// The value with as many decimals as its size needs.
std::string FormatNumber(double value);

void PrintTable(const std::vector<Figure> &figures, std::ostream &out);

Json::Value FiguresAsJson(const std::vector<Figure> &figures);

// The value at `fraction` (0..1) of the sorted values, nearest rank; 0 for none.
double Percentile(std::vector<double> values, double fraction);

} // namespace bench
