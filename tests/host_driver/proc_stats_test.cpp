#include "driver.h"
#include "measures.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

const char kStatus[] = "Name:\tzorvaneplugin\n"
                       "State:\tS (sleeping)\n"
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

TEST(StatusState, ReadsTheLetterOfTheStateLine) {
  EXPECT_EQ(host_driver::StatusState(kStatus), 'S');
  EXPECT_EQ(host_driver::StatusState("Name:\tx\nState:\tR (running)\n"), 'R');
  EXPECT_EQ(host_driver::StatusState("Name:\tState\n"), std::nullopt);
  EXPECT_EQ(host_driver::StatusState("State:\t\nName:\tx\n"), std::nullopt);
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

// Samples of a process's threads, 10 ms apart, and after each whether the
// watch has seen it quiet for 30 ms ('1') or not ('0').
struct QuietCase {
  const char *what;
  std::vector<host_driver::ProcessSample> samples;
  std::string quiet;
  int quietSinceSample; // -1: never quiet
};

TEST(QuietWatch, QuietMeansNoThreadRanAndEverySleptForTheWholeHold) {
  using Sample = host_driver::ProcessSample;
  const Sample busy{{10, {100, 1, 'R'}}, {11, {50, 1, 'S'}}};
  const Sample done{{10, {180, 2, 'S'}}, {11, {50, 1, 'S'}}};
  const Sample ready{{10, {180, 2, 'R'}}, {11, {50, 1, 'S'}}};  // waits for the CPU
  const Sample device{{10, {180, 2, 'D'}}, {11, {50, 1, 'S'}}}; // waits for a disk
  const Sample woke{{10, {190, 3, 'S'}}, {11, {50, 1, 'S'}}};   // ran between two samples
  const Sample newThread{{10, {180, 2, 'S'}}, {11, {50, 1, 'S'}}, {12, {0, 0, 'S'}}};
  const std::vector<QuietCase> cases{
      {"busy, then done", {busy, done, done, done, done, done}, "000011", 1},
      {"ready to run without running is not quiet",
       {busy, ready, ready, ready, ready, ready},
       "000000",
       -1},
      {"waiting for a device is not quiet", {busy, device, device, device, device}, "00000", -1},
      {"a short run starts the quiet afresh",
       {done, done, done, woke, woke, woke, woke},
       "0000001",
       3},
      {"a new thread starts the quiet afresh",
       {done, done, newThread, newThread, newThread, newThread},
       "000001",
       2},
  };
  const host_driver::QuietWatch::TimePoint start{};
  for (const QuietCase &test : cases) {
    host_driver::QuietWatch watch(std::chrono::milliseconds(30));
    for (std::size_t i = 0; i < test.samples.size(); ++i) {
      EXPECT_EQ(watch.Add(test.samples[i], start + std::chrono::milliseconds(10 * i)),
                test.quiet[i] == '1')
          << test.what << ", sample " << i;
    }
    if (test.quietSinceSample >= 0) {
      EXPECT_EQ(watch.QuietSince(), start + std::chrono::milliseconds(10 * test.quietSinceSample))
          << test.what;
    }
  }
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
  EXPECT_EQ(self->second.state, 'R'); // it runs while it reads its own state
}

TEST(LiveProcess, ThePeakMemoryStartsAfreshFromTheResidentMemory) {
  constexpr std::size_t kSize = 64u << 20;
  void *block = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(block, MAP_FAILED);
  std::memset(block, 1, kSize);
  ASSERT_EQ(::munmap(block, kSize), 0);
  const host_driver::Memory before = host_driver::ReadMemory(::getpid());
  ASSERT_GE(before.hwmKiB, kSize >> 10);
  ASSERT_TRUE(host_driver::ResetPeakMemory(::getpid()));
  const host_driver::Memory after = host_driver::ReadMemory(::getpid());
  EXPECT_LT(after.hwmKiB, before.hwmKiB - (kSize >> 11));
  EXPECT_GE(after.hwmKiB, after.rssKiB);
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
