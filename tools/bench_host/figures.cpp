#include "figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <utility>

namespace bench {

std::string FormatNumber(double value) {
  const double size = std::fabs(value);
  const int decimals = size >= 100 || value == std::floor(value) ? 0 : size >= 10 ? 1 : 2;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

Figure MakeFigure(std::string key, std::string label, double value, std::string unit, Goal goal,
                  double target, std::string note) {
  Figure figure;
  figure.key = std::move(key);
  figure.label = std::move(label);
  figure.value = value;
  figure.unit = std::move(unit);
  figure.goal = goal;
  figure.target = target;
  figure.note = std::move(note);
  return figure;
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

} // namespace bench
