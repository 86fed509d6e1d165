// The benchmark's host driver: plays the Stream Deck application (a
// WebSocket server on the loopback address) and the desktop application (the
// "ZORVANEDESKTOP" window) around the real plug-in process, measures it from
// the outside through /proc, and prints a table of figures. Every reply it
// counts is checked byte for byte; a wrong, missing or late one fails the run
// with exit code 1. See docs/performance.md.
#include "bench_failure.h"
#include "figures.h"
#include "options.h"
#include "scenarios.h"
#include "watchdog.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

// A private runtime folder for the desktop link, which the driver's own
// window and the plug-in (through the inherited environment) both use, and
// where the large key images are written. Removed with everything in it.
class RuntimeFolder {
public:
  RuntimeFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "zorvane-bench-XXXXXX").string();
    if (::mkdtemp(&pattern[0]) == nullptr) {
      throw bench::BenchFailure("cannot create a folder in " +
                                std::filesystem::temp_directory_path().string());
    }
    mPath = pattern;
    ::setenv("XDG_RUNTIME_DIR", mPath.c_str(), 1);
  }
  ~RuntimeFolder() {
    std::error_code ignored; // a folder left in the temp directory harms nothing
    std::filesystem::remove_all(mPath, ignored);
  }
  RuntimeFolder(const RuntimeFolder &) = delete;
  RuntimeFolder &operator=(const RuntimeFolder &) = delete;

  const std::string &Path() const { return mPath; }

private:
  std::string mPath;
};

void WriteJson(const std::vector<bench::Figure> &figures, const bench::Options &options) {
  Json::Value document(Json::objectValue);
  document["plugin"] = options.pluginPath;
  document["figures"] = bench::FiguresAsJson(figures);
  std::ofstream file(options.jsonPath);
  file << Json::StyledWriter().write(document);
  if (!file) {
    throw bench::BenchFailure("cannot write " + options.jsonPath);
  }
}

} // namespace

int main(int argc, char *argv[]) {
  bench::Options options;
  options.keyImagePath = ZORVANE_BENCH_KEY_IMAGE;
  std::string error;
  if (!bench::ParseOptions(argc, argv, options, error)) {
    std::cerr << "zorvane-bench-host: " << error << "\n" << bench::UsageText();
    return 2;
  }
  try {
    // The settings name the image by a path that holds wherever the plug-in runs.
    options.keyImagePath = std::filesystem::absolute(options.keyImagePath).string();
    const bench::Watchdog watchdog(
        std::chrono::seconds(static_cast<long long>(options.runLimitSeconds)));
    const RuntimeFolder runtime;
    std::vector<bench::Figure> figures;
    bench::RunSession(options, figures);
    bench::RunImagePeaks(options, runtime.Path(), figures);
    std::cout << "\n";
    bench::PrintTable(figures, std::cout);
    if (!options.jsonPath.empty()) {
      WriteJson(figures, options);
    }
    return 0;
  } catch (const std::exception &failure) {
    std::cerr << "bench: FAILED: " << failure.what() << std::endl;
    return 1;
  }
}
