#include "figures.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<double> OneToHundred() {
  std::vector<double> values;
  for (int i = 100; i >= 1; --i) {
    values.push_back(i);
  }
  return values;
}

TEST(Percentile, NearestRankOfUnsortedValues) {
  EXPECT_EQ(bench::Percentile(OneToHundred(), 0.5), 50);
  EXPECT_EQ(bench::Percentile(OneToHundred(), 0.99), 99);
  EXPECT_EQ(bench::Percentile(OneToHundred(), 1.0), 100);
  EXPECT_EQ(bench::Percentile(OneToHundred(), 0.0), 1);
  EXPECT_EQ(bench::Percentile({7}, 0.99), 7);
  EXPECT_EQ(bench::Percentile({}, 0.5), 0);
}

TEST(Figures, TargetsAreMetOnTheRightSide) {
  const auto at = [](bench::Goal goal, double value) {
    return bench::MeetsTarget(bench::MakeFigure("k", "l", value, "us", goal, 45));
  };
  EXPECT_EQ(at(bench::Goal::AtMost, 45), "yes");
  EXPECT_EQ(at(bench::Goal::AtMost, 45.5), "no");
  EXPECT_EQ(at(bench::Goal::AtLeast, 45), "yes");
  EXPECT_EQ(at(bench::Goal::AtLeast, 44), "no");
  EXPECT_EQ(at(bench::Goal::Report, 1), "");
}

TEST(Figures, JsonHoldsValueTargetAndVerdict) {
  const Json::Value json = bench::FiguresAsJson(
      {bench::MakeFigure("cpu_us", "CPU", 50, "us", bench::Goal::AtMost, 45, "a note"),
       bench::MakeFigure("startup_ms", "start-up", 9, "ms", bench::Goal::Report, 11)});
  EXPECT_EQ(json["cpu_us"]["value"].asDouble(), 50);
  EXPECT_EQ(json["cpu_us"]["target"].asString(), "<= 45 us");
  EXPECT_FALSE(json["cpu_us"]["met"].asBool());
  EXPECT_EQ(json["cpu_us"]["note"].asString(), "a note");
  EXPECT_EQ(json["startup_ms"]["target"].asString(), "was 11 ms");
  EXPECT_FALSE(json["startup_ms"].isMember("met"));
}

TEST(Figures, TableHasOneLinePerFigureAndItsNote) {
  std::ostringstream table;
  bench::PrintTable({bench::MakeFigure("a", "replies per second", 4800, "/s", bench::Goal::AtLeast,
                                       20000, "host-bound")},
                    table);
  EXPECT_NE(table.str().find("replies per second"), std::string::npos);
  EXPECT_NE(table.str().find("4800 /s"), std::string::npos);
  EXPECT_NE(table.str().find(">= 20000 /s"), std::string::npos);
  EXPECT_NE(table.str().find("(host-bound)"), std::string::npos);
}

} // namespace
