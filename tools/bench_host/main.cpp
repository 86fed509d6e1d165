// The benchmark's host driver: plays the Stream Deck application (a
// WebSocket server on the loopback address) and the desktop application (the
// "ZORVANEDESKTOP" window) around the real plug-in process, measures it from
// the outside through /proc, and prints a table of figures. Every reply it
// counts is checked byte for byte; a wrong, missing or late one fails the run
// with exit code 1. See docs/performance.md.
#include "bench_failure.h"
#include "figures.h"
#include "options.h"
#include "runtime_folder.h"
#include "scenarios.h"
#include "watchdog.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

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
    const bench::RuntimeFolder runtime;
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
