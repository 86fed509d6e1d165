// The plug-in process as the Stream Deck application runs it: started with
// its arguments, standard input from /dev/null, the driver's environment,
// and the driver's standard output and error unless a file is named for them.
// Whatever happens to the run, a process still running when its object goes
// away is killed and reaped.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace bench {

class PluginProcess {
public:
  // Starts `path` with `arguments`, its standard output and error going to
  // the file `outputPath` (created afresh) when that is not empty. Throws
  // BenchFailure when it cannot start.
  PluginProcess(const std::string &path, const std::vector<std::string> &arguments,
                const std::string &outputPath = std::string());
  ~PluginProcess();

  PluginProcess(const PluginProcess &) = delete;
  PluginProcess &operator=(const PluginProcess &) = delete;

  pid_t Pid() const { return mPid; }
  // The moment just before the process was started.
  std::chrono::steady_clock::time_point LaunchTime() const { return mLaunchTime; }

  // Waits up to `limit` for the process to end, reaps it and returns its wait
  // status. Throws BenchFailure on timeout (the process is left to the destructor).
  int WaitForExit(std::chrono::milliseconds limit);

  // True once the process has ended; it is then reaped, and WaitForExit
  // gives its status at once.
  bool HasEnded();

private:
  void KillAndReap();

  pid_t mPid = -1;
  bool mReaped = false;
  int mStatus = 0;
  std::chrono::steady_clock::time_point mLaunchTime;
};

// "exit code 0", "signal 9 (Killed)".
std::string DescribeWaitStatus(int status);

} // namespace bench
