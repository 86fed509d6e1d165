// The plug-in process and its two peers as the driver plays them: the Stream
// Deck application's WebSocket server and the desktop application's window.
#pragma once

#include "driver.h"
#include "tools/support/window_thread.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>
#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

namespace host_driver {

struct Registration {
  std::string text;
  Clock::time_point arrival;
};

// The Stream Deck application's side of the link: a WebSocket server on an
// ephemeral loopback port that takes one connection (the plug-in's), keeps
// its first text frame as the registration, and hands every later frame to
// a frame sink. Runs its own network thread.
class HostServer {
public:
  using Server = websocketpp::server<websocketpp::config::asio>;

  // Listens on 127.0.0.1 and starts the network thread. Frames up to
  // `maxMessageBytes` are accepted. Throws DriverFailure when it cannot listen.
  HostServer(FrameSink &replies, std::size_t maxMessageBytes);
  ~HostServer();

  HostServer(const HostServer &) = delete;
  HostServer &operator=(const HostServer &) = delete;

  int Port() const { return mPort; }

  // Waits up to `limit` for the plug-in's first text frame; nullopt when
  // none has come by then.
  std::optional<Registration> WaitForRegistration(std::chrono::milliseconds limit);

  // Sends one text frame; throws DriverFailure when there is no connection.
  void Send(const std::string &text);

  // Stops and restarts reading from the plug-in. While paused, the frames
  // the plug-in sends wait in the socket buffers and then in the plug-in.
  void PauseReading();
  void ResumeReading();

  // Starts the closing handshake with status "normal".
  void Close();

  // CPU time used so far by the network thread.
  std::chrono::nanoseconds NetworkThreadCpu();

private:
  void Listen(std::size_t maxMessageBytes);
  bool OnValidate(websocketpp::connection_hdl connection);
  void OnOpen(websocketpp::connection_hdl connection);
  void OnMessage(websocketpp::connection_hdl connection, Server::message_ptr message);
  void OnEnded(websocketpp::connection_hdl connection);
  Server::connection_ptr Connection(const char *purpose);

  FrameSink &mReplies;
  Server mServer;
  int mPort = 0;
  // Guards the members below. Held only to read or change them, never while
  // sending or while the sink looks at a frame.
  std::mutex mMutex;
  std::condition_variable mChanged;
  bool mAccepted = false;
  // Kept from open to the end: the library itself holds a connection only
  // while an operation on it is pending, and while reading is paused with
  // nothing to write there is none, so without this the connection would be
  // destroyed and the socket closed.
  Server::connection_ptr mConnection;
  bool mRegistered = false;
  Registration mRegistration;
  std::thread mThread;
};

// The plug-in process: started with its arguments, standard input from /dev/null,
// the driver's environment, and the driver's standard output and error
// unless a file is named for them. Whatever happens to the run, a process
// still running when its object goes away is killed and reaped.
class PluginProcess {
public:
  // Throws DriverFailure when it cannot start.
  PluginProcess(const std::string &path, const std::vector<std::string> &arguments,
                const std::string &outputPath);
  ~PluginProcess();
  PluginProcess(const PluginProcess &) = delete;
  PluginProcess &operator=(const PluginProcess &) = delete;

  pid_t Pid() const { return mPid; }
  // The moment just before the process was started.
  Clock::time_point LaunchTime() const { return mLaunchTime; }
  // Waits up to `limit` for the process to end, reaps it and returns its wait
  // status. Throws DriverFailure on timeout (the process is left to the destructor).
  int WaitForExit(std::chrono::milliseconds limit);
  // True once the process has ended; it is then reaped.
  bool HasEnded();

private:
  pid_t mPid = -1;
  bool mReaped = false;
  int mStatus = 0;
  Clock::time_point mLaunchTime;
};

// "exit code 0", "signal 9 (Killed)".
std::string DescribeWaitStatus(int status);

// One plug-in process, launched as the Stream Deck application launches it,
// connected to the driver's host server and registered. Its frames after the
// registration go to the sink that the caller owns.
class PluginSession {
public:
  // Starts the plug-in at `pluginPath` and waits up to `guard` for its
  // registration, which must be the expected text. `outputPath` (empty: the
  // driver's own) receives the process's standard output and error. Throws
  // DriverFailure on any fault.
  PluginSession(const std::string &pluginPath, std::chrono::milliseconds guard,
                std::size_t messageLimit, FrameSink &sink,
                const std::string &outputPath = std::string());

  std::chrono::milliseconds Guard() const { return mGuard; }
  HostServer &Server() { return mServer; }
  pid_t Pid() const { return mProcess.Pid(); }
  bool HasEnded() { return mProcess.HasEnded(); }
  double StartUpMs() const;

  // Closes the connection; the milliseconds until the process had ended.
  // Throws DriverFailure unless it ended with exit code 0 and the sink saw no fault.
  double CloseAndTimeExit();

private:
  Registration AwaitRegistration();

  std::chrono::milliseconds mGuard;
  FrameSink &mSink;
  HostServer mServer;
  PluginProcess mProcess;
  Registration mRegistration;
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

  // The oldest command not yet taken; throws DriverFailure when none arrives
  // within `limit`.
  ReceivedCommand WaitForCommand(std::chrono::milliseconds limit);

  // Every command not yet taken, oldest first; waits up to `limit` for the
  // first one and returns none when it does not come.
  std::vector<ReceivedCommand> TakeAll(std::chrono::milliseconds limit);

private:
  WindowThread mWindow;
};

} // namespace host_driver
