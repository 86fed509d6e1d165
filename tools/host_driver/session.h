// The plug-in process and its two peers as the driver plays them: the Stream
// Deck application's WebSocket server and the desktop application's window.
#pragma once

#include "driver.h"
#include "tools/support/window_thread.h"

#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace host_driver {

// One plug-in process, launched as the Stream Deck application launches it
// (standard input from /dev/null, the driver's environment) against the
// driver's WebSocket server on an ephemeral loopback port, and registered.
// The server takes one connection and hands every frame after the
// registration to the caller's sink, on its own network thread. Whatever
// happens to the run, a process still running at the end is killed and reaped.
class PluginSession {
public:
  using Server = websocketpp::server<websocketpp::config::asio>;

  // Starts the plug-in at `pluginPath` and waits up to `guard` for its
  // registration, which must be the expected text. Frames up to
  // `messageLimit` bytes are accepted; `outputPath` (empty: the driver's own)
  // receives the process's standard output and error. Throws DriverFailure
  // on any fault.
  PluginSession(const std::string &pluginPath, std::chrono::milliseconds guard,
                std::size_t messageLimit, FrameSink &sink,
                const std::string &outputPath = std::string());
  ~PluginSession();
  PluginSession(const PluginSession &) = delete;
  PluginSession &operator=(const PluginSession &) = delete;

  // Sends one text frame; throws DriverFailure when there is no connection.
  void Send(const std::string &text);
  // While reading is paused, the frames the plug-in sends wait in the socket
  // buffers and then in the plug-in.
  void PauseReading();
  void ResumeReading();
  // CPU time used so far by the server's network thread.
  std::chrono::nanoseconds NetworkThreadCpu();

  std::chrono::milliseconds Guard() const { return mGuard; }
  pid_t Pid() const { return mPid; }
  // True once the process has ended; it is then reaped.
  bool HasEnded();
  double StartUpMs() const;

  // Closes the connection; the milliseconds until the process had ended.
  // Throws DriverFailure unless it ended with exit code 0 and the sink saw no fault.
  double CloseAndTimeExit();

private:
  void Listen(std::size_t messageLimit);
  void Launch(const std::string &pluginPath, const std::string &outputPath);
  void AwaitRegistration();
  int WaitForExit();
  void End();
  void OnMessage(websocketpp::connection_hdl connection, Server::message_ptr message);
  Server::connection_ptr Connection(const char *purpose);

  const std::chrono::milliseconds mGuard;
  FrameSink &mSink;
  Server mServer;
  std::thread mThread;
  // Guards the members up to mRegistration. Held only to read or change
  // them, never while sending or while the sink looks at a frame.
  std::mutex mMutex;
  bool mAccepted = false;
  // Kept from open to the end: the library itself holds a connection only
  // while an operation on it is pending, and while reading is paused with
  // nothing to write there is none, so without this the connection would be
  // destroyed and the socket closed.
  Server::connection_ptr mConnection;
  std::optional<std::string> mRegistration;
  Clock::time_point mRegistered;
  Clock::time_point mLaunched;
  pid_t mPid = -1;
  bool mReaped = false;
  int mStatus = 0;
};

struct ReceivedCommand {
  std::uint64_t kind = 0;
  std::uint32_t size = 0;
  bool hasData = false;
  std::string bytes;      // the `size` bytes, when there are any
  void *sender = nullptr; // the window that the sender named as its own
  Clock::time_point arrival;
};

// The desktop application's window, owned by the driver: "ZORVANEDESKTOP" on
// a thread of its own. Every command that reaches it is timestamped on arrival.
class DesktopWindow {
public:
  // Opens the window; throws DriverFailure when it cannot. One at a time.
  DesktopWindow();

  // The window's own handle, the sender of what the driver sends from it.
  void *Handle() const { return mWindow.Handle(); }

  // Every command not yet taken, oldest first; waits up to `limit` for the
  // first one and returns none when it does not come.
  std::vector<ReceivedCommand> TakeAll(std::chrono::milliseconds limit);

private:
  WindowThread mWindow;
};

// Sends a notification of the desktop application from its window `desktop`
// to the plug-in's window `plugin` and waits until it has been handled: kind
// `kind`, and `payload` with its terminating NUL counted (empty: no data at
// all). True when the plug-in accepted it.
bool SendNotification(void *plugin, void *desktop, std::uint64_t kind, const std::string &payload);

} // namespace host_driver
