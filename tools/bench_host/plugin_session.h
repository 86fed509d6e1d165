// One plug-in process, launched as the Stream Deck application launches it,
// connected to the driver's host server and registered. Its frames after the
// registration go to the sink that the caller owns.
#pragma once

#include "frame_sink.h"
#include "host_server.h"
#include "plugin_process.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace bench {

class PluginSession {
public:
  // Starts the plug-in at `pluginPath` and waits up to `guard` for its
  // registration, which must be the expected text. `outputPath` (empty: the
  // driver's own) receives the process's standard output and error. Throws
  // BenchFailure on any fault.
  PluginSession(const std::string &pluginPath, std::chrono::milliseconds guard,
                std::size_t messageLimit, FrameSink &sink,
                const std::string &outputPath = std::string());

  std::chrono::milliseconds Guard() const { return mGuard; }
  HostServer &Server() { return mServer; }
  pid_t Pid() const { return mProcess.Pid(); }
  // True once the process has ended.
  bool HasEnded() { return mProcess.HasEnded(); }

  double StartUpMs() const;

  // Closes the connection; the milliseconds until the process had ended.
  // Throws BenchFailure unless it ended with exit code 0 and the sink saw no fault.
  double CloseAndTimeExit();

private:
  Registration AwaitRegistration();

  std::chrono::milliseconds mGuard;
  FrameSink &mSink;
  HostServer mServer;
  PluginProcess mProcess;
  Registration mRegistration;
};

} // namespace bench
