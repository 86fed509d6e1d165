#include "measures.h"

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
  EXPECT_EQ(host_driver::Percentile(OneToHundred(), 0.5), 50);
  EXPECT_EQ(host_driver::Percentile(OneToHundred(), 0.99), 99);
  EXPECT_EQ(host_driver::Percentile(OneToHundred(), 1.0), 100);
  EXPECT_EQ(host_driver::Percentile(OneToHundred(), 0.0), 1);
  EXPECT_EQ(host_driver::Percentile({7}, 0.99), 7);
  EXPECT_EQ(host_driver::Percentile({}, 0.5), 0);
}

TEST(Figures, TargetsAreMetOnTheRightSide) {
  const auto at = [](host_driver::Goal goal, double value) {
    return host_driver::MeetsTarget(host_driver::Figure{"k", "l", value, "us", goal, 45});
  };
  EXPECT_EQ(at(host_driver::Goal::AtMost, 45), "yes");
  EXPECT_EQ(at(host_driver::Goal::AtMost, 45.5), "no");
  EXPECT_EQ(at(host_driver::Goal::AtLeast, 45), "yes");
  EXPECT_EQ(at(host_driver::Goal::AtLeast, 44), "no");
  EXPECT_EQ(at(host_driver::Goal::Report, 1), "");
}

TEST(Figures, JsonHoldsValueTargetAndVerdict) {
  const Json::Value json = host_driver::FiguresAsJson(
      {host_driver::Figure{"cpu_us", "CPU", 50, "us", host_driver::Goal::AtMost, 45, "a note"},
       host_driver::Figure{"startup_ms", "start-up", 9, "ms", host_driver::Goal::Report, 11}});
  EXPECT_EQ(json["cpu_us"]["value"].asDouble(), 50);
  EXPECT_EQ(json["cpu_us"]["target"].asString(), "<= 45 us");
  EXPECT_FALSE(json["cpu_us"]["met"].asBool());
  EXPECT_EQ(json["cpu_us"]["note"].asString(), "a note");
  EXPECT_EQ(json["startup_ms"]["target"].asString(), "was 11 ms");
  EXPECT_FALSE(json["startup_ms"].isMember("met"));
}

TEST(Figures, TableHasOneLinePerFigureAndItsNote) {
  std::ostringstream table;
  host_driver::PrintTable({host_driver::Figure{"a", "replies per second", 4800, "/s",
                                               host_driver::Goal::AtLeast, 20000, "host-bound"}},
                          table);
  EXPECT_NE(table.str().find("replies per second"), std::string::npos);
  EXPECT_NE(table.str().find("4800 /s"), std::string::npos);
  EXPECT_NE(table.str().find(">= 20000 /s"), std::string::npos);
  EXPECT_NE(table.str().find("(host-bound)"), std::string::npos);
}

} // namespace
