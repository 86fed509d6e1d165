#include "plugin_process.h"

#include "bench_failure.h"
#include "watchdog.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

// Waits for the process to become reapable: on a pidfd when the kernel has
// them (it wakes the moment the process ends), else by polling every 100 us.
bool WaitUntilEnded(pid_t pid, Clock::time_point deadline, int &status) {
#ifdef SYS_pidfd_open
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd entry{pidfd, POLLIN, 0};
    int ready;
    do {
      ready = ::poll(&entry, 1, static_cast<int>(left > 0 ? left : 0));
    } while (ready < 0 && errno == EINTR);
    ::close(pidfd);
    if (ready <= 0) {
      return false;
    }
  }
#endif
  for (;;) {
    const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == pid) {
      return true;
    }
    if (reaped < 0 && errno != EINTR) {
      throw BenchFailure(std::string("waitpid failed: ") + std::strerror(errno));
    }
    if (Clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

} // namespace

PluginProcess::PluginProcess(const std::string &path, const std::vector<std::string> &arguments,
                             const std::string &outputPath) {
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(path.c_str()));
  for (const std::string &argument : arguments) {
    argv.push_back(const_cast<char *>(argument.c_str()));
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (!outputPath.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  }
  mLaunchTime = Clock::now();
  const int error = ::posix_spawn(&mPid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    throw BenchFailure("cannot start the plug-in " + path + ": " + std::strerror(error));
  }
  SetWatchedProcess(mPid);
}

PluginProcess::~PluginProcess() {
  KillAndReap();
  SetWatchedProcess(-1);
}

int PluginProcess::WaitForExit(std::chrono::milliseconds limit) {
  if (!mReaped && !WaitUntilEnded(mPid, Clock::now() + limit, mStatus)) {
    throw BenchFailure("the plug-in did not exit within " + std::to_string(limit.count()) +
                       " ms (hang guard)");
  }
  mReaped = true;
  return mStatus;
}

bool PluginProcess::HasEnded() {
  if (!mReaped && ::waitpid(mPid, &mStatus, WNOHANG) == mPid) {
    mReaped = true;
  }
  return mReaped;
}

void PluginProcess::KillAndReap() {
  if (mReaped) {
    return;
  }
  ::kill(mPid, SIGKILL);
  while (::waitpid(mPid, &mStatus, 0) < 0 && errno == EINTR) {
  }
  mReaped = true;
}

std::string DescribeWaitStatus(int status) {
  if (WIFEXITED(status)) {
    return "exit code " + std::to_string(WEXITSTATUS(status));
  }
  if (WIFSIGNALED(status)) {
    return "signal " + std::to_string(WTERMSIG(status)) + " (" + ::strsignal(WTERMSIG(status)) +
           ")";
  }
  return "wait status " + std::to_string(status);
}

} // namespace bench
