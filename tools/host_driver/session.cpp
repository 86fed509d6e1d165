#include "session.h"

#include "messages.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace host_driver {

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
    throw DriverFailure("cannot listen on 127.0.0.1: " +
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
    throw DriverFailure(std::string("cannot ") + purpose +
                        ": there is no connection to the plug-in");
  }
  return connection;
}

namespace {

void ThrowOn(const websocketpp::lib::error_code &error, const std::string &failed) {
  if (error) {
    throw DriverFailure("cannot " + failed + ": " + error.message());
  }
}

} // namespace

void HostServer::Send(const std::string &text) {
  ThrowOn(Connection("send")->send(text, websocketpp::frame::opcode::text), "send to the plug-in");
}

void HostServer::PauseReading() {
  ThrowOn(Connection("pause reading")->pause_reading(), "pause reading");
}

void HostServer::ResumeReading() {
  ThrowOn(Connection("resume reading")->resume_reading(), "resume reading");
}

void HostServer::Close() {
  websocketpp::lib::error_code error;
  Connection("close")->close(websocketpp::close::status::normal, "", error);
  ThrowOn(error, "close the connection");
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

namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

const char kUuid[] = "5B1F0C2D9E8A4B7C6D3E2F1A0B9C8D7E";
const char kRegisterEvent[] = "registerPlugin";
const char kInfo[] =
    R"({"application":{"language":"en","platform":"windows","version":"6.4.0"},)"
    R"("plugin":{"uuid":"com.brimcove.zorvaneplugin","version":"1.0"},"devicePixelRatio":1,)"
    R"("devices":[{"id":"BENCHDEVICE0001","name":"Stream Deck XL","size":{"columns":8,"rows":4},)"
    R"("type":2}]})";

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
      throw DriverFailure(std::string("waitpid failed: ") + std::strerror(errno));
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
    throw DriverFailure("cannot start the plug-in " + path + ": " + std::strerror(error));
  }
  SetWatchedProcess(mPid);
}

PluginProcess::~PluginProcess() {
  if (!mReaped) {
    ::kill(mPid, SIGKILL);
    while (::waitpid(mPid, &mStatus, 0) < 0 && errno == EINTR) {
    }
  }
  SetWatchedProcess(-1);
}

int PluginProcess::WaitForExit(std::chrono::milliseconds limit) {
  if (!mReaped && !WaitUntilEnded(mPid, Clock::now() + limit, mStatus)) {
    throw DriverFailure("the plug-in did not exit within " + std::to_string(limit.count()) +
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
    throw DriverFailure("the first frame is not the registration: " +
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
    throw DriverFailure("the plug-in ended with " + DescribeWaitStatus(status) +
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
      throw DriverFailure("the plug-in ended with " +
                          DescribeWaitStatus(mProcess.WaitForExit(mGuard)) +
                          " before it registered");
    }
  }
  throw DriverFailure("the plug-in did not register within " + std::to_string(mGuard.count()) +
                      " ms (hang guard)");
}

namespace {

// The commands that reached the window. The window procedure is a plain
// function, so they wait here rather than in the window object.
struct CommandInbox {
  // Guards `commands`; held only to add or take one.
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<ReceivedCommand> commands;
};

CommandInbox &Inbox() {
  static CommandInbox inbox;
  return inbox;
}

std::intptr_t OnCommand(platform::WindowHandle sender, const platform::CopyData *data) {
  ReceivedCommand command;
  command.arrival = Clock::now();
  command.sender = sender;
  if (data != nullptr) {
    command.kind = data->kind;
    command.size = data->size;
    command.hasData = data->data != nullptr;
    if (command.hasData) {
      command.bytes.assign(static_cast<const char *>(data->data), data->size);
    }
  }
  {
    const std::lock_guard<std::mutex> lock(Inbox().mutex);
    Inbox().commands.push_back(command);
  }
  Inbox().arrived.notify_all();
  return 1;
}

// The handler of a new window, whose inbox starts empty.
platform::CopyDataHandler EmptiedInbox() {
  const std::lock_guard<std::mutex> lock(Inbox().mutex);
  Inbox().commands.clear();
  return OnCommand;
}

} // namespace

DesktopWindow::DesktopWindow() : mWindow("ZORVANEDESKTOP", EmptiedInbox()) {
  if (mWindow.Handle() == nullptr) {
    throw DriverFailure("cannot open the ZORVANEDESKTOP window");
  }
}

ReceivedCommand DesktopWindow::WaitForCommand(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(Inbox().mutex);
  if (!Inbox().arrived.wait_for(lock, limit, [] { return !Inbox().commands.empty(); })) {
    throw DriverFailure("no command reached the desktop window within " +
                        std::to_string(limit.count()) + " ms (hang guard)");
  }
  const ReceivedCommand command = Inbox().commands.front();
  Inbox().commands.pop_front();
  return command;
}

std::vector<ReceivedCommand> DesktopWindow::TakeAll(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(Inbox().mutex);
  Inbox().arrived.wait_for(lock, limit, [] { return !Inbox().commands.empty(); });
  std::vector<ReceivedCommand> taken(Inbox().commands.begin(), Inbox().commands.end());
  Inbox().commands.clear();
  return taken;
}

} // namespace host_driver
