#include "bench_failure.h"
#include "proc_stats.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kStatus[] = "Name:\tzorvaneplugin\n"
                       "VmHWM:\t    4408 kB\n"
                       "VmRSS:\t    4404 kB\n"
                       "Threads:\t3\n"
                       "voluntary_ctxt_switches:\t12\n"
                       "nonvoluntary_ctxt_switches:\t3\n";

TEST(StatusField, ReadsTheNumberOfTheNamedLine) {
  EXPECT_EQ(bench::StatusField(kStatus, "VmRSS"), 4404u);
  EXPECT_EQ(bench::StatusField(kStatus, "VmHWM"), 4408u);
  EXPECT_EQ(bench::StatusField(kStatus, "Threads"), 3u);
}

TEST(StatusField, MatchesWholeNamesAtTheStartOfALine) {
  EXPECT_EQ(bench::StatusField(kStatus, "voluntary_ctxt_switches"), 12u);
  EXPECT_EQ(bench::StatusField(kStatus, "nonvoluntary_ctxt_switches"), 3u);
  EXPECT_EQ(bench::StatusField(kStatus, "Vm"), std::nullopt);
}

TEST(StatusField, MissingOrNotANumber) {
  EXPECT_EQ(bench::StatusField(kStatus, "VmSwap"), std::nullopt);
  EXPECT_EQ(bench::StatusField(kStatus, "Name"), std::nullopt);
  EXPECT_EQ(bench::StatusField("", "VmRSS"), std::nullopt);
}

TEST(Schedstat, RunTimeIsTheFirstNumber) {
  EXPECT_EQ(bench::SchedstatRunNs("273987464 270145966 284\n"), 273987464u);
  EXPECT_EQ(bench::SchedstatRunNs(""), std::nullopt);
}

TEST(UsageBetween, AddsTheGrowthOfEveryThread) {
  const bench::ProcessSample before{{10, {1000, 5}}, {11, {200, 1}}};
  const bench::ProcessSample after{{10, {1500, 7}}, {11, {260, 4}}};
  const bench::Usage usage = bench::UsageBetween(before, after);
  EXPECT_EQ(usage.runNs, 560u);
  EXPECT_EQ(usage.switches, 5u);
  EXPECT_EQ(usage.endedThreads, 0u);
}

TEST(UsageBetween, ANewThreadCountsWholeAndAnEndedOneIsReported) {
  const bench::ProcessSample before{{10, {1000, 5}}, {11, {200, 1}}};
  const bench::ProcessSample after{{10, {1100, 6}}, {12, {50, 2}}};
  const bench::Usage usage = bench::UsageBetween(before, after);
  EXPECT_EQ(usage.runNs, 150u);
  EXPECT_EQ(usage.switches, 3u);
  EXPECT_EQ(usage.endedThreads, 1u);
}

TEST(LiveProcess, ReadsThisProcess) {
  const bench::Memory memory = bench::ReadMemory(::getpid());
  EXPECT_GT(memory.rssKiB, 0u);
  EXPECT_GE(memory.hwmKiB, memory.rssKiB);
  const bench::ProcessSample sample = bench::SampleThreads(::getpid());
  const auto self = sample.find(static_cast<pid_t>(::syscall(SYS_gettid)));
  ASSERT_NE(self, sample.end());
  EXPECT_GT(self->second.runNs, 0u);
}

TEST(LiveProcess, AProcessThatIsGoneFails) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::_exit(0);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_THROW(bench::ReadMemory(child), bench::BenchFailure);
  EXPECT_THROW(bench::SampleThreads(child), bench::BenchFailure);
}

} // namespace
