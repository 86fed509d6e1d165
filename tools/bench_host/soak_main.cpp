// The soak driver: runs the real plug-in for minutes under mixed Stream Deck
// events, key presses and desktop notifications, as the Stream Deck
// application and the desktop application would, checks every frame and
// command, and judges its resident memory. Prints a table; exits with 1 on
// any fault. See README.md, "Soak".
#include "bench_failure.h"
#include "figures.h"
#include "runtime_folder.h"
#include "soak.h"
#include "soak_options.h"
#include "watchdog.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

// The plug-in is silent by design: whatever it wrote (a sanitizer's report
// above all) is a failure.
std::string PluginOutput(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

} // namespace

int main(int argc, char *argv[]) {
  bench::SoakOptions options;
  options.keyImagePath = ZORVANE_BENCH_KEY_IMAGE;
  std::string error;
  if (!bench::ParseSoakOptions(argc, argv, options, error)) {
    std::cerr << "zorvane-soak: " << error << "\n" << bench::SoakUsageText();
    return 2;
  }
  try {
    // The settings name the image by a path that holds wherever the plug-in runs.
    options.keyImagePath = std::filesystem::absolute(options.keyImagePath).string();
    const bench::Watchdog watchdog(std::chrono::seconds(
        static_cast<long long>(options.seconds + 10 * options.hangGuardSeconds)));
    const bench::RuntimeFolder runtime;
    if (options.outputPath.empty()) {
      options.outputPath = runtime.Path() + "/plugin-output.txt";
    }
    bench::SoakResult result = bench::RunSoak(options);
    const std::string output = PluginOutput(options.outputPath);
    if (!output.empty()) {
      result.failures.push_back("the plug-in wrote " + std::to_string(output.size()) +
                                " bytes to its output:\n" + output.substr(0, 8192));
    }
    std::cout << "\n";
    bench::PrintTable(result.figures, std::cout);
    for (const std::string &note : result.notes) {
      std::cout << "soak: note: " << note << std::endl;
    }
    for (const std::string &failure : result.failures) {
      std::cerr << "soak: FAILED: " << failure << std::endl;
    }
    return result.failures.empty() ? 0 : 1;
  } catch (const std::exception &failure) {
    std::cerr << "soak: FAILED: " << failure.what() << std::endl;
    const std::string output = PluginOutput(options.outputPath);
    if (!output.empty()) {
      std::cerr << "the plug-in's output:\n" << output.substr(0, 8192) << std::endl;
    }
    return 1;
  }
}
