#include "plugin_session.h"

#include "bench_failure.h"
#include "replies.h"

#include <sys/wait.h>

#include <optional>

namespace bench {
namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

const char kUuid[] = "5B1F0C2D9E8A4B7C6D3E2F1A0B9C8D7E";
const char kRegisterEvent[] = "registerPlugin";
const char kInfo[] =
    R"({"application":{"language":"en","platform":"windows","version":"6.4.0"},)"
    R"("plugin":{"uuid":"com.brimcove.zorvaneplugin","version":"1.0"},"devicePixelRatio":1,)"
    R"("devices":[{"id":"BENCHDEVICE0001","name":"Stream Deck XL","size":{"columns":8,"rows":4},)"
    R"("type":2}]})";

} // namespace

PluginSession::PluginSession(const std::string &pluginPath, std::chrono::milliseconds guard,
                             std::size_t messageLimit, FrameSink &sink,
                             const std::string &outputPath)
    : mGuard(guard), mSink(sink), mServer(sink, messageLimit),
      mProcess(pluginPath,
               {"-port", std::to_string(mServer.Port()), "-pluginUUID", kUuid, "-registerEvent",
                kRegisterEvent, "-info", kInfo},
               outputPath) {
  mRegistration = AwaitRegistration();
  const std::string expected = RegistrationText(kRegisterEvent, kUuid);
  if (mRegistration.text != expected) {
    throw BenchFailure("the first frame is not the registration: " +
                       DescribeMismatch(expected, mRegistration.text, 0, 1));
  }
}

double PluginSession::StartUpMs() const {
  return Milliseconds(mRegistration.arrival - mProcess.LaunchTime()).count();
}

double PluginSession::CloseAndTimeExit() {
  mSink.ThrowIfFault();
  const Clock::time_point closing = Clock::now();
  mServer.Close();
  const int status = mProcess.WaitForExit(mGuard);
  const double exitMs = Milliseconds(Clock::now() - closing).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw BenchFailure("the plug-in ended with " + DescribeWaitStatus(status) +
                       " after the host closed the connection");
  }
  mSink.ThrowIfFault();
  return exitMs;
}

// The registration frame, watching the process meanwhile: one that ends
// first fails the run at once rather than after the guard.
Registration PluginSession::AwaitRegistration() {
  const Clock::time_point deadline = Clock::now() + mGuard;
  while (Clock::now() < deadline) {
    if (std::optional<Registration> registration =
            mServer.WaitForRegistration(std::chrono::milliseconds(50))) {
      return *registration;
    }
    if (mProcess.HasEnded()) {
      throw BenchFailure("the plug-in ended with " +
                         DescribeWaitStatus(mProcess.WaitForExit(mGuard)) +
                         " before it registered");
    }
  }
  throw BenchFailure("the plug-in did not register within " + std::to_string(mGuard.count()) +
                     " ms (hang guard)");
}

} // namespace bench
