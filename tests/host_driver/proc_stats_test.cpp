#include "driver.h"
#include "measures.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

const char kStatus[] = "Name:\tzorvaneplugin\n"
                       "VmHWM:\t    4408 kB\n"
                       "VmRSS:\t    4404 kB\n"
                       "Threads:\t3\n"
                       "voluntary_ctxt_switches:\t12\n"
                       "nonvoluntary_ctxt_switches:\t3\n";

TEST(StatusField, ReadsTheNumberOfTheNamedLine) {
  EXPECT_EQ(host_driver::StatusField(kStatus, "VmRSS"), 4404u);
  EXPECT_EQ(host_driver::StatusField(kStatus, "VmHWM"), 4408u);
  EXPECT_EQ(host_driver::StatusField(kStatus, "Threads"), 3u);
}

TEST(StatusField, MatchesWholeNamesAtTheStartOfALine) {
  EXPECT_EQ(host_driver::StatusField(kStatus, "voluntary_ctxt_switches"), 12u);
  EXPECT_EQ(host_driver::StatusField(kStatus, "nonvoluntary_ctxt_switches"), 3u);
  EXPECT_EQ(host_driver::StatusField(kStatus, "Vm"), std::nullopt);
}

TEST(StatusField, MissingOrNotANumber) {
  EXPECT_EQ(host_driver::StatusField(kStatus, "VmSwap"), std::nullopt);
  EXPECT_EQ(host_driver::StatusField(kStatus, "Name"), std::nullopt);
  EXPECT_EQ(host_driver::StatusField("", "VmRSS"), std::nullopt);
}

TEST(Schedstat, RunTimeIsTheFirstNumber) {
  EXPECT_EQ(host_driver::SchedstatRunNs("273987464 270145966 284\n"), 273987464u);
  EXPECT_EQ(host_driver::SchedstatRunNs(""), std::nullopt);
}

TEST(UsageBetween, AddsTheGrowthOfEveryThread) {
  const host_driver::ProcessSample before{{10, {1000, 5}}, {11, {200, 1}}};
  const host_driver::ProcessSample after{{10, {1500, 7}}, {11, {260, 4}}};
  const host_driver::Usage usage = host_driver::UsageBetween(before, after);
  EXPECT_EQ(usage.runNs, 560u);
  EXPECT_EQ(usage.switches, 5u);
  EXPECT_EQ(usage.endedThreads, 0u);
}

TEST(UsageBetween, ANewThreadCountsWholeAndAnEndedOneIsReported) {
  const host_driver::ProcessSample before{{10, {1000, 5}}, {11, {200, 1}}};
  const host_driver::ProcessSample after{{10, {1100, 6}}, {12, {50, 2}}};
  const host_driver::Usage usage = host_driver::UsageBetween(before, after);
  EXPECT_EQ(usage.runNs, 150u);
  EXPECT_EQ(usage.switches, 3u);
  EXPECT_EQ(usage.endedThreads, 1u);
}

TEST(LiveProcess, ReadsThisProcess) {
  const host_driver::Memory memory = host_driver::ReadMemory(::getpid());
  EXPECT_GT(memory.rssKiB, 0u);
  EXPECT_GE(memory.hwmKiB, memory.rssKiB);
  // The kernel adds a thread's run time when the thread is switched out or
  // ticked; a test process younger than a tick may not have been yet.
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const host_driver::ProcessSample sample = host_driver::SampleThreads(::getpid());
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
  EXPECT_THROW(host_driver::ReadMemory(child), host_driver::DriverFailure);
  EXPECT_THROW(host_driver::SampleThreads(child), host_driver::DriverFailure);
}

} // namespace
