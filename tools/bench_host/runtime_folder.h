// A private runtime folder for the desktop link, which the driver's own
// window and the plug-in (through the inherited environment) both use, and
// where the driver keeps its files. Removed with everything in it.
#pragma once

#include <string>

namespace bench {

class RuntimeFolder {
public:
  // Makes the folder and points XDG_RUNTIME_DIR at it; throws BenchFailure
  // when it cannot.
  RuntimeFolder();
  ~RuntimeFolder();
  RuntimeFolder(const RuntimeFolder &) = delete;
  RuntimeFolder &operator=(const RuntimeFolder &) = delete;

  const std::string &Path() const { return mPath; }

private:
  std::string mPath;
};

} // namespace bench
