// What every part of the host driver shares: its failure, its clock, the
// sink of the plug-in's frames, the private runtime folder, the guard of the
// whole run and a few small helpers.
#pragma once

#include "desktop/key_actions.h"

#include <json/json.h>

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

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

  // A text frame from the plug-in, and when it arrived.
  virtual void OnText(const std::string &text, Clock::time_point arrival) = 0;
  // The connection ended.
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

// A private runtime folder for the desktop link, which the driver's own
// window and the plug-in (through the inherited environment) both use, and
// where the driver keeps its files. Removed with everything in it.
class RuntimeFolder {
public:
  // Makes the folder and points XDG_RUNTIME_DIR at it; throws DriverFailure
  // when it cannot.
  RuntimeFolder();
  ~RuntimeFolder();
  RuntimeFolder(const RuntimeFolder &) = delete;
  RuntimeFolder &operator=(const RuntimeFolder &) = delete;

  const std::string &Path() const { return mPath; }

private:
  std::string mPath;
};

// The last line against a hang: every wait of the driver has its own bound,
// and this one bounds the whole run. When it passes, the driver kills the
// plug-in process it is running, says so after `prefix` and exits with 1.
class Watchdog {
public:
  Watchdog(std::chrono::seconds limit, std::string prefix);
  // Stops watching.
  ~Watchdog();
  Watchdog(const Watchdog &) = delete;
  Watchdog &operator=(const Watchdog &) = delete;

private:
  void Watch(std::chrono::seconds limit, const std::string &prefix);

  // Guards mDone; held only to read or set it.
  std::mutex mMutex;
  std::condition_variable mDoneChanged;
  bool mDone = false;
  std::thread mThread;
};

// The plug-in process that the watchdog kills; -1 for none. Set by PluginSession.
void SetWatchedProcess(pid_t pid);

// A file's whole content; throws DriverFailure when it cannot be read.
std::string ReadFile(const std::string &path);

// JSON on one line, as the Stream Deck application and the desktop
// application write what they send.
std::string CompactJson(const Json::Value &value);

// splitmix64: the next of a fixed pseudo-random sequence kept in `state`.
std::uint64_t NextRandom(std::uint64_t &state);

// The row of the key action whose key release sends `command`, and its identifier.
const KeyAction &ActionOfCommand(std::uint32_t command);
std::string ActionIdentifier(std::uint32_t command);

} // namespace host_driver
