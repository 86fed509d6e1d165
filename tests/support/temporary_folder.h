// A new, empty folder in the system's temporary folder, removed with all it
// holds when the owner ends: /tmp/... natively, the user's Temp folder on
// Windows. Its name carries the process id, so that test processes running at
// once never share one.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

class TemporaryFolder {
public:
  explicit TemporaryFolder(const std::string &what) {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; mPath.empty() && attempt < 100; ++attempt) {
      const std::filesystem::path candidate =
          base /
          ("zorvane-" + what + "-" + std::to_string(ProcessId()) + "-" + std::to_string(attempt));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) {
        mPath = candidate;
      }
    }
    EXPECT_FALSE(mPath.empty()) << "no new folder could be made in " << base.string();
  }
  ~TemporaryFolder() {
    std::error_code error;
    std::filesystem::remove_all(mPath, error);
  }
  TemporaryFolder(const TemporaryFolder &) = delete;
  TemporaryFolder &operator=(const TemporaryFolder &) = delete;

  // The folder's path in the platform's own form, for the product's
  // functions that take a path as text.
  std::string Path() const { return mPath.string(); }
  // Its last component alone: a name no other test process uses.
  std::string Name() const { return mPath.filename().string(); }

private:
  static int ProcessId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return static_cast<int>(::getpid());
#endif
  }

  std::filesystem::path mPath;
};
