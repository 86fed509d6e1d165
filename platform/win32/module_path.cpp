// The executable's own path and file-system paths on Windows.
#include "platform/platform.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace platform {

std::string GetExecutablePath() {
  char path[MAX_PATH] = {};
  if (::GetModuleFileNameA(nullptr, path, MAX_PATH) == 0) {
    return std::string();
  }
  // A path cut at the buffer's size may lack its terminating NUL.
  return std::string(path, ::strnlen(path, MAX_PATH));
}

// Backslashes are the native separator; nothing to convert.
std::string ToFileSystemPath(const std::string &path) { return path; }

} // namespace platform
