#include "driver.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace host_driver {
namespace {

std::atomic<pid_t> gWatchedProcess{-1};

} // namespace

void FrameSink::ThrowIfFault() const {
  const std::lock_guard<std::mutex> lock(mMutex);
  if (!mFault.empty()) {
    throw DriverFailure(mFault);
  }
}

void FrameSink::SetFault(const std::string &fault) {
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    if (mFault.empty()) {
      mFault = fault;
    }
  }
  mChanged.notify_all();
}

RuntimeFolder::RuntimeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zorvane-driver-XXXXXX").string();
  if (::mkdtemp(&pattern[0]) == nullptr) {
    throw DriverFailure("cannot create a folder in " +
                        std::filesystem::temp_directory_path().string());
  }
  mPath = pattern;
  ::setenv("XDG_RUNTIME_DIR", mPath.c_str(), 1);
}

RuntimeFolder::~RuntimeFolder() {
  std::error_code ignored; // a folder left in the temp directory harms nothing
  std::filesystem::remove_all(mPath, ignored);
}

void SetWatchedProcess(pid_t pid) { gWatchedProcess.store(pid); }

Watchdog::Watchdog(std::chrono::seconds limit, std::string prefix)
    : mThread(&Watchdog::Watch, this, limit, std::move(prefix)) {}

Watchdog::~Watchdog() {
  {
    const std::lock_guard<std::mutex> lock(mMutex);
    mDone = true;
  }
  mDoneChanged.notify_all();
  mThread.join();
}

void Watchdog::Watch(std::chrono::seconds limit, const std::string &prefix) {
  std::unique_lock<std::mutex> lock(mMutex);
  if (mDoneChanged.wait_for(lock, limit, [this] { return mDone; })) {
    return;
  }
  const pid_t watched = gWatchedProcess.load();
  if (watched > 0) {
    ::kill(watched, SIGKILL);
  }
  std::fprintf(stderr, "%s: FAILED: the whole run took longer than %lld s (hang guard)\n",
               prefix.c_str(), static_cast<long long>(limit.count()));
  std::fflush(stderr);
  // Other threads may be blocked for good; nothing below main can be unwound safely.
  std::_Exit(1);
}

std::string ReadFile(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  if (!file.is_open() || file.bad()) {
    throw DriverFailure("cannot read " + path);
  }
  return bytes.str();
}

std::string CompactJson(const Json::Value &value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

std::uint64_t NextRandom(std::uint64_t &state) {
  std::uint64_t mixed = (state += 0x9E3779B97F4A7C15ULL);
  mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
  mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
  return mixed ^ (mixed >> 31);
}

const KeyAction &ActionOfCommand(std::uint32_t command) {
  for (const KeyAction &action : kKeyActions) {
    if (action.keyCommand == command) {
      return action;
    }
  }
  throw DriverFailure("no key action sends command " + std::to_string(command));
}

std::string ActionIdentifier(std::uint32_t command) {
  return std::string(ActionOfCommand(command).identifier);
}

} // namespace host_driver
