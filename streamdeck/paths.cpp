#include "streamdeck/paths.h"

#include "platform/platform.h"

#include <algorithm>
#include <mutex>

namespace {

const char kDriveRootMark[] = ":\\";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool EndsWith(const std::string &text, const std::string &tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A path's own separator: the backslash if it holds one anywhere, else the slash.
char SeparatorOf(const std::string &path) {
  return path.find('\\') != std::string::npos ? '\\' : '/';
}

std::string StripTrailingSeparators(std::string path, char separator) {
  while (path.size() > 1 && path.back() == separator) {
    path.pop_back();
  }
  return path;
}

bool HasPluginFolderExtension(const std::string &name) {
  const std::string::size_type dot = name.rfind('.');
  return dot != std::string::npos && dot + 1 < name.size() &&
         name.compare(dot, std::string::npos, ".sdPlugin") == 0;
}

} // namespace

std::string JoinPath(const std::string &folder, const std::string &name) {
  if (folder.empty()) {
    return name;
  }
  const bool folderEnds = IsSeparator(folder.back());
  const bool nameStarts = !name.empty() && IsSeparator(name.front());
  std::string joined;
  if (!folderEnds && !nameStarts) {
    joined = folder + '\\' + name;
  } else if (folderEnds && nameStarts) {
    joined = folder + name.substr(1);
  } else {
    joined = folder + name;
  }
  std::replace(joined.begin(), joined.end(), '/', '\\');
  return joined;
}

std::string GetFileName(const std::string &path) {
  if (path.find_first_of("\\/") == std::string::npos) {
    return path;
  }
  const char separator = SeparatorOf(path);
  if (separator == '\\' && EndsWith(path, kDriveRootMark)) {
    return path;
  }
  const std::string stripped = StripTrailingSeparators(path, separator);
  if (stripped == std::string(1, separator)) {
    return stripped;
  }
  const std::string::size_type last = stripped.rfind(separator);
  return last == std::string::npos ? stripped : stripped.substr(last + 1);
}

std::string GetParentPath(const std::string &path) {
  const char separator = SeparatorOf(path);
  if (EndsWith(path, std::string(1, ':') + separator) || IsShareRoot(path)) {
    return path;
  }
  const std::string stripped = StripTrailingSeparators(path, separator);
  const std::string::size_type last = stripped.rfind(separator);
  if (last == std::string::npos) {
    return EndsWith(stripped, ":") ? stripped + separator : std::string();
  }
  const std::string head = stripped.substr(0, last);
  if (EndsWith(head, kDriveRootMark)) {
    return head;
  }
  if (EndsWith(head, ":")) {
    return head + '\\';
  }
  const std::string parent = StripTrailingSeparators(head, separator);
  if (parent.empty() && separator == '/') {
    return "/";
  }
  return parent;
}

bool IsShareRoot(const std::string &path) {
  const char separator = SeparatorOf(path);
  if (path.size() < 2 || path[0] != separator || path[1] != separator) {
    return false;
  }
  const std::string rest = path.substr(2);
  return rest.find(separator) == rest.rfind(separator);
}

std::string FindPluginFolder(const std::string &executablePath) {
  std::string path = executablePath;
  while (!path.empty()) {
    if (path == "/" || EndsWith(path, kDriveRootMark)) {
      return std::string();
    }
    if (HasPluginFolderExtension(GetFileName(path))) {
      return path;
    }
    std::string parent = GetParentPath(path);
    if (parent == path) {
      return std::string();
    }
    path = std::move(parent);
  }
  return std::string();
}

std::string GetPluginFolder() {
  static std::mutex cacheMutex; // guards `cache`; held only to read or fill it
  static std::string cache;
  {
    const std::lock_guard<std::mutex> lock(cacheMutex);
    if (!cache.empty()) {
      return cache;
    }
  }
  const std::string executablePath = platform::GetExecutablePath();
  if (executablePath.empty()) {
    return std::string();
  }
  const std::string folder = FindPluginFolder(executablePath);
  const std::lock_guard<std::mutex> lock(cacheMutex);
  if (cache.empty()) {
    cache = folder;
  }
  return cache;
}
