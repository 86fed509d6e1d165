#include "platform/platform.h"

#include <algorithm>
#include <climits>
#include <unistd.h>

namespace platform {

std::string GetExecutablePath() {
  char buffer[PATH_MAX] = {};
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) {
    return std::string();
  }
  return std::string(buffer, static_cast<std::size_t>(length));
}

std::string ToFileSystemPath(const std::string &path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

} // namespace platform
