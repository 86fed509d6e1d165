// What every part of the host driver shares: its failure, its clock, the
// sink of the plug-in's frames, the guard of the whole run and a few small
// helpers.
#pragma once

#include "desktop/key_actions.h"

#include <json/json.h>

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

namespace host_driver {

using Clock = std::chrono::steady_clock;

// A run whose figures or checks cannot be trusted: a wrong, missing or late
// reply or command, a plug-in that died, hung or could not start. The driver
// prints the message and exits with 1.
class DriverFailure : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Where the host server hands every frame of the plug-in after its
// registration, on the server's network thread. Keeps the first fault that
// it is told of; the driver's thread waits on it.
class FrameSink {
public:
  virtual ~FrameSink() = default;

  virtual void OnText(const std::string &text, Clock::time_point arrival) = 0;
  virtual void OnConnectionEnded() = 0;
  // Any other frame, or a failure of the server itself: always a fault.
  void OnUnexpectedFrame(const std::string &what) { SetFault("the plug-in sent " + what); }
  // Throws DriverFailure if a fault has been seen.
  void ThrowIfFault() const;

protected:
  void SetFault(const std::string &fault);

  // Guards mFault and the members of the derived sink. Held only to read or
  // update them; never while comparing a frame.
  mutable std::mutex mMutex;
  std::condition_variable mChanged;
  std::string mFault;
};

// The last line against a hang: every wait of the driver has its own bound,
// and this one bounds the whole run. When `limit` passes, the driver kills
// the plug-in process it is running, says so after `prefix` and exits with 1.
void StartWatchdog(std::chrono::seconds limit, const std::string &prefix);

// The plug-in process that the watchdog kills; -1 for none. Set by PluginSession.
void SetWatchedProcess(pid_t pid);

// A file's whole content; nullopt, or with ReadFile DriverFailure, when it
// cannot be read.
std::optional<std::string> ReadText(const std::string &path);
std::string ReadFile(const std::string &path);

// JSON on one line, as the Stream Deck application and the desktop
// application write what they send.
std::string CompactJson(const Json::Value &value);

// splitmix64: the next of a fixed pseudo-random sequence kept in `state`.
std::uint64_t NextRandom(std::uint64_t &state);

} // namespace host_driver
