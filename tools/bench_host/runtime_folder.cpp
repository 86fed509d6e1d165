#include "runtime_folder.h"

#include "bench_failure.h"

#include <cstdlib>
#include <filesystem>

namespace bench {

RuntimeFolder::RuntimeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zorvane-bench-XXXXXX").string();
  if (::mkdtemp(&pattern[0]) == nullptr) {
    throw BenchFailure("cannot create a folder in " +
                       std::filesystem::temp_directory_path().string());
  }
  mPath = pattern;
  ::setenv("XDG_RUNTIME_DIR", mPath.c_str(), 1);
}

RuntimeFolder::~RuntimeFolder() {
  std::error_code ignored; // a folder left in the temp directory harms nothing
  std::filesystem::remove_all(mPath, ignored);
}

} // namespace bench
