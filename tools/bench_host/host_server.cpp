#include "host_server.h"

#include "bench_failure.h"

#include <pthread.h>
#include <time.h>

namespace bench {

using websocketpp::connection_hdl;

HostServer::HostServer(FrameSink &replies, std::size_t maxMessageBytes) : mReplies(replies) {
  Listen(maxMessageBytes);
  mThread = std::thread([this] {
    try {
      mServer.run();
    } catch (const std::exception &error) {
      mReplies.OnUnexpectedFrame(std::string("nothing readable: the network thread failed: ") +
                                 error.what());
    }
  });
}

HostServer::~HostServer() {
  // Stopping the event loop ends the network thread; the acceptor and the
  // connection are then closed by their destructors, on this thread alone.
  mServer.stop();
  mThread.join();
}

void HostServer::Listen(std::size_t maxMessageBytes) {
  using namespace std::placeholders;
  mServer.clear_access_channels(websocketpp::log::alevel::all);
  mServer.clear_error_channels(websocketpp::log::elevel::all);
  mServer.init_asio();
  mServer.set_max_message_size(maxMessageBytes);
  // The host answers at once: no small frame of ours waits for an
  // acknowledgement before it leaves.
  mServer.set_socket_init_handler([](connection_hdl, asio::ip::tcp::socket &socket) {
    asio::error_code ignored; // without it the figures are a little worse, nothing fails
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
  });
  mServer.set_validate_handler(std::bind(&HostServer::OnValidate, this, _1));
  mServer.set_open_handler(std::bind(&HostServer::OnOpen, this, _1));
  mServer.set_message_handler(std::bind(&HostServer::OnMessage, this, _1, _2));
  mServer.set_close_handler(std::bind(&HostServer::OnEnded, this, _1));
  mServer.set_fail_handler(std::bind(&HostServer::OnEnded, this, _1));
  websocketpp::lib::error_code error;
  mServer.listen(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0), error);
  if (!error) {
    mServer.start_accept(error);
  }
  asio::error_code endpointError;
  const asio::ip::tcp::endpoint local = mServer.get_local_endpoint(endpointError);
  if (error || endpointError) {
    throw BenchFailure("cannot listen on 127.0.0.1: " +
                       (error ? error.message() : endpointError.message()));
  }
  mPort = local.port();
}

bool HostServer::OnValidate(connection_hdl) {
  bool first = false;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    first = !mAccepted;
    mAccepted = true;
  }
  if (!first) {
    mReplies.OnUnexpectedFrame("a second connection request; the plug-in has one connection");
  }
  return first;
}

void HostServer::OnOpen(connection_hdl handle) {
  Server::connection_ptr connection = mServer.get_con_from_hdl(handle);
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    mConnection = std::move(connection);
  }
  mChanged.notify_all();
}

void HostServer::OnMessage(connection_hdl, Server::message_ptr message) {
  const Clock::time_point arrival = Clock::now();
  if (message->get_opcode() != websocketpp::frame::opcode::text) {
    mReplies.OnUnexpectedFrame("a binary frame of " +
                               std::to_string(message->get_payload().size()) + " bytes");
    return;
  }
  bool registration = false;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    if (!mRegistered) {
      mRegistered = registration = true;
      mRegistration = Registration{message->get_payload(), arrival};
    }
  }
  if (registration) {
    mChanged.notify_all();
    return;
  }
  mReplies.OnText(message->get_payload(), arrival);
}

void HostServer::OnEnded(connection_hdl) {
  mReplies.OnConnectionEnded();
  mChanged.notify_all();
}

std::optional<Registration> HostServer::WaitForRegistration(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mMutex);
  if (!mChanged.wait_for(lock, limit, [this] { return mRegistered; })) {
    return std::nullopt;
  }
  return mRegistration;
}

HostServer::Server::connection_ptr HostServer::Connection(const char *purpose) {
  Server::connection_ptr connection;
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    connection = mConnection;
  }
  if (!connection) {
    throw BenchFailure(std::string("cannot ") + purpose +
                       ": there is no connection to the plug-in");
  }
  return connection;
}

void HostServer::Send(const std::string &text) {
  const websocketpp::lib::error_code error =
      Connection("send")->send(text, websocketpp::frame::opcode::text);
  if (error) {
    throw BenchFailure("cannot send to the plug-in: " + error.message());
  }
}

void HostServer::PauseReading() {
  const websocketpp::lib::error_code error = Connection("pause reading")->pause_reading();
  if (error) {
    throw BenchFailure("cannot pause reading: " + error.message());
  }
}

void HostServer::ResumeReading() {
  const websocketpp::lib::error_code error = Connection("resume reading")->resume_reading();
  if (error) {
    throw BenchFailure("cannot resume reading: " + error.message());
  }
}

void HostServer::Close() {
  websocketpp::lib::error_code error;
  Connection("close")->close(websocketpp::close::status::normal, "", error);
  if (error) {
    throw BenchFailure("cannot close the connection: " + error.message());
  }
}

std::chrono::nanoseconds HostServer::NetworkThreadCpu() {
  clockid_t clock;
  timespec now{};
  if (::pthread_getcpuclockid(mThread.native_handle(), &clock) != 0 ||
      ::clock_gettime(clock, &now) != 0) {
    return std::chrono::nanoseconds(0);
  }
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace bench
