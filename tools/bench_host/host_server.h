// The Stream Deck application's side of the link: a WebSocket server on an
// ephemeral loopback port that takes one connection (the plug-in's), keeps
// its first text frame as the registration, and hands every later frame to
// a frame sink. Runs its own network thread.
#pragma once

#include "frame_sink.h"

#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace bench {

struct Registration {
  std::string text;
  Clock::time_point arrival;
};

class HostServer {
public:
  using Server = websocketpp::server<websocketpp::config::asio>;

  // Listens on 127.0.0.1 and starts the network thread. Frames up to
  // `maxMessageBytes` are accepted. Throws BenchFailure when it cannot listen.
  HostServer(FrameSink &replies, std::size_t maxMessageBytes);
  ~HostServer();

  HostServer(const HostServer &) = delete;
  HostServer &operator=(const HostServer &) = delete;

  int Port() const { return mPort; }

  // Waits up to `limit` for the plug-in's first text frame; nullopt when
  // none has come by then.
  std::optional<Registration> WaitForRegistration(std::chrono::milliseconds limit);

  // Sends one text frame; throws BenchFailure when there is no connection.
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

} // namespace bench
