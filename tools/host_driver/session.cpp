#include "session.h"

#include "messages.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace host_driver {
namespace {

using websocketpp::connection_hdl;
using Milliseconds = std::chrono::duration<double, std::milli>;

const char kUuid[] = "5B1F0C2D9E8A4B7C6D3E2F1A0B9C8D7E";
const char kRegisterEvent[] = "registerPlugin";
const char kInfo[] =
    R"({"application":{"language":"en","platform":"windows","version":"6.4.0"},)"
    R"("plugin":{"uuid":"com.brimcove.zorvaneplugin","version":"1.0"},"devicePixelRatio":1,)"
    R"("devices":[{"id":"BENCHDEVICE0001","name":"Stream Deck XL","size":{"columns":8,"rows":4},)"
    R"("type":2}]})";

void ThrowOn(const websocketpp::lib::error_code &error, const std::string &failed) {
  if (error) {
    throw DriverFailure("cannot " + failed + ": " + error.message());
  }
}

// "exit code 0", "signal 9 (Killed)".
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

} // namespace

PluginSession::PluginSession(const std::string &pluginPath, std::chrono::milliseconds guard,
                             std::size_t messageLimit, FrameSink &sink,
                             const std::string &outputPath)
    : mGuard(guard), mSink(sink) {
  try {
    Listen(messageLimit);
    mThread = std::thread([this] {
      try {
        mServer.run();
      } catch (const std::exception &error) {
        mSink.OnUnexpectedFrame(std::string("nothing readable: the network thread failed: ") +
                                error.what());
      }
    });
    Launch(pluginPath, outputPath);
    AwaitRegistration();
  } catch (...) {
    End();
    throw;
  }
}

PluginSession::~PluginSession() { End(); }

// Kills and reaps a process still running, then stops the event loop, which
// ends the network thread; the acceptor and the connection are then closed
// by their destructors, on this thread alone.
void PluginSession::End() {
  if (mPid > 0 && !mReaped) {
    ::kill(mPid, SIGKILL);
    while (::waitpid(mPid, &mStatus, 0) < 0 && errno == EINTR) {
    }
    mReaped = true;
  }
  SetWatchedProcess(-1);
  mServer.stop();
  if (mThread.joinable()) {
    mThread.join();
  }
}

void PluginSession::Listen(std::size_t messageLimit) {
  mServer.clear_access_channels(websocketpp::log::alevel::all);
  mServer.clear_error_channels(websocketpp::log::elevel::all);
  mServer.init_asio();
  mServer.set_max_message_size(messageLimit);
  // The host answers at once: no small frame of ours waits for an
  // acknowledgement before it leaves.
  mServer.set_socket_init_handler([](connection_hdl, asio::ip::tcp::socket &socket) {
    asio::error_code ignored; // without it the figures are a little worse, nothing fails
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
  });
  mServer.set_validate_handler([this](connection_hdl) {
    bool first = false;
    {
      const std::lock_guard<std::mutex> lock(mMutex);
      first = !mAccepted;
      mAccepted = true;
    }
    if (!first) {
      mSink.OnUnexpectedFrame("a second connection request; the plug-in has one connection");
    }
    return first;
  });
  mServer.set_open_handler([this](connection_hdl handle) {
    Server::connection_ptr connection = mServer.get_con_from_hdl(handle);
    const std::lock_guard<std::mutex> lock(mMutex);
    mConnection = std::move(connection);
  });
  mServer.set_message_handler(
      [this](connection_hdl handle, Server::message_ptr message) { OnMessage(handle, message); });
  mServer.set_close_handler([this](connection_hdl) { mSink.OnConnectionEnded(); });
  mServer.set_fail_handler([this](connection_hdl) { mSink.OnConnectionEnded(); });
  websocketpp::lib::error_code error;
  mServer.listen(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0), error);
  if (!error) {
    mServer.start_accept(error);
  }
  ThrowOn(error, "listen on 127.0.0.1");
}

void PluginSession::Launch(const std::string &pluginPath, const std::string &outputPath) {
  asio::error_code error;
  const std::string port = std::to_string(mServer.get_local_endpoint(error).port());
  ThrowOn(error, "listen on 127.0.0.1");
  std::vector<std::string> arguments{pluginPath,     "-port", port,
                                     "-pluginUUID",  kUuid,   "-registerEvent",
                                     kRegisterEvent, "-info", kInfo};
  std::vector<char *> argv;
  for (std::string &argument : arguments) {
    argv.push_back(&argument[0]);
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
  mLaunched = Clock::now();
  const int failed = ::posix_spawn(&mPid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    mPid = -1;
    throw DriverFailure("cannot start the plug-in " + pluginPath + ": " + std::strerror(failed));
  }
  SetWatchedProcess(mPid);
}

// The registration frame, watching the process meanwhile: one that ends
// first fails the run at once rather than after the guard.
void PluginSession::AwaitRegistration() {
  const Clock::time_point deadline = Clock::now() + mGuard;
  std::optional<std::string> registration;
  for (;;) {
    {
      const std::lock_guard<std::mutex> lock(mMutex);
      registration = mRegistration;
    }
    if (registration) {
      break;
    }
    if (HasEnded()) {
      throw DriverFailure("the plug-in ended with " + DescribeWaitStatus(mStatus) +
                          " before it registered");
    }
    if (Clock::now() >= deadline) {
      throw DriverFailure("the plug-in did not register within " + std::to_string(mGuard.count()) +
                          " ms (hang guard)");
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  const std::string expected = RegistrationText(kRegisterEvent, kUuid);
  if (*registration != expected) {
    throw DriverFailure("the first frame is not the registration: " +
                        DescribeMismatch(expected, *registration, 0, 1));
  }
}

void PluginSession::OnMessage(connection_hdl, Server::message_ptr message) {
  const Clock::time_point arrival = Clock::now();
  if (message->get_opcode() != websocketpp::frame::opcode::text) {
    mSink.OnUnexpectedFrame("a binary frame of " + std::to_string(message->get_payload().size()) +
                            " bytes");
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    if (!mRegistration) {
      mRegistration = message->get_payload();
      mRegistered = arrival;
      return;
    }
  }
  mSink.OnText(message->get_payload(), arrival);
}

PluginSession::Server::connection_ptr PluginSession::Connection(const char *purpose) {
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

void PluginSession::Send(const std::string &text) {
  ThrowOn(Connection("send")->send(text, websocketpp::frame::opcode::text), "send to the plug-in");
}

void PluginSession::PauseReading() {
  ThrowOn(Connection("pause reading")->pause_reading(), "pause reading");
}

void PluginSession::ResumeReading() {
  ThrowOn(Connection("resume reading")->resume_reading(), "resume reading");
}

std::chrono::nanoseconds PluginSession::NetworkThreadCpu() {
  clockid_t clock;
  timespec now{};
  if (::pthread_getcpuclockid(mThread.native_handle(), &clock) != 0 ||
      ::clock_gettime(clock, &now) != 0) {
    return std::chrono::nanoseconds(0);
  }
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

bool PluginSession::HasEnded() {
  if (!mReaped && ::waitpid(mPid, &mStatus, WNOHANG) == mPid) {
    mReaped = true;
  }
  return mReaped;
}

double PluginSession::StartUpMs() const { return Milliseconds(mRegistered - mLaunched).count(); }

// Waits on a pidfd, which wakes the moment the process ends, where the
// kernel has them; polls every 100 us for the rest.
int PluginSession::WaitForExit() {
  const Clock::time_point deadline = Clock::now() + mGuard;
#ifdef SYS_pidfd_open
  const int pidfd = mReaped ? -1 : static_cast<int>(::syscall(SYS_pidfd_open, mPid, 0));
  if (pidfd >= 0) {
    pollfd entry{pidfd, POLLIN, 0};
    while (::poll(&entry, 1, static_cast<int>(mGuard.count())) < 0 && errno == EINTR) {
    }
    ::close(pidfd);
  }
#endif
  while (!HasEnded()) {
    if (Clock::now() >= deadline) {
      throw DriverFailure("the plug-in did not exit within " + std::to_string(mGuard.count()) +
                          " ms (hang guard)");
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return mStatus;
}

double PluginSession::CloseAndTimeExit() {
  mSink.ThrowIfFault();
  const Clock::time_point closing = Clock::now();
  websocketpp::lib::error_code error;
  Connection("close")->close(websocketpp::close::status::normal, "", error);
  ThrowOn(error, "close the connection");
  const int status = WaitForExit();
  const double exitMs = Milliseconds(Clock::now() - closing).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw DriverFailure("the plug-in ended with " + DescribeWaitStatus(status) +
                        " after the host closed the connection");
  }
  mSink.ThrowIfFault();
  return exitMs;
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

std::vector<ReceivedCommand> DesktopWindow::TakeAll(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(Inbox().mutex);
  Inbox().arrived.wait_for(lock, limit, [] { return !Inbox().commands.empty(); });
  std::vector<ReceivedCommand> taken(Inbox().commands.begin(), Inbox().commands.end());
  Inbox().commands.clear();
  return taken;
}

bool SendNotification(void *plugin, void *desktop, std::uint64_t kind, const std::string &payload) {
  platform::CopyData data;
  data.kind = kind;
  if (!payload.empty()) {
    data.size = static_cast<std::uint32_t>(payload.size() + 1);
    data.data = payload.c_str();
  }
  return platform::SendCopyData(plugin, desktop, &data) == 1;
}

} // namespace host_driver
