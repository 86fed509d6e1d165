#include "driver.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

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

void SetWatchedProcess(pid_t pid) { gWatchedProcess.store(pid); }

// A run that ends in time ends the process, and with it this thread.
void StartWatchdog(std::chrono::seconds limit, const std::string &prefix) {
  std::thread([limit, prefix] {
    std::this_thread::sleep_for(limit);
    const pid_t watched = gWatchedProcess.load();
    if (watched > 0) {
      ::kill(watched, SIGKILL);
    }
    std::fprintf(stderr, "%s: FAILED: the whole run took longer than %lld s (hang guard)\n",
                 prefix.c_str(), static_cast<long long>(limit.count()));
    std::fflush(stderr);
    // Other threads may be blocked for good; nothing below main can be unwound safely.
    std::_Exit(1);
  }).detach();
}

std::optional<std::string> ReadText(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  if (!file.is_open() || file.bad()) {
    return std::nullopt;
  }
  return bytes.str();
}

std::string ReadFile(const std::string &path) {
  std::optional<std::string> text = ReadText(path);
  if (!text) {
    throw DriverFailure("cannot read " + path);
  }
  return *text;
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

} // namespace host_driver
