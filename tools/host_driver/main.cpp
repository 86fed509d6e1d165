// The host driver: plays the Stream Deck application (a WebSocket server on
// the loopback address) and the desktop application (the "ZORVANEDESKTOP"
// window) around the real plug-in process, and checks every reply and
// command byte for byte. Two commands:
//   bench  measures the plug-in from the outside through /proc and prints a
//          table of figures (see docs/performance.md);
//   soak   runs it for minutes under mixed Stream Deck events, key presses
//          and desktop notifications and judges its resident memory (see
//          README.md, "Soak").
// Exits with 1 on any fault, with 2 on a mistake in the command line.
#include "driver.h"
#include "runs.h"

#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

using namespace host_driver;

void WriteJson(const std::vector<Figure> &figures, const Options &options) {
  Json::Value document(Json::objectValue);
  document["plugin"] = options.pluginPath;
  document["figures"] = FiguresAsJson(figures);
  std::ofstream file(options.jsonPath);
  file << Json::StyledWriter().write(document);
  if (!file) {
    throw DriverFailure("cannot write " + options.jsonPath);
  }
}

void Bench(const Options &options) {
  const Watchdog watchdog(std::chrono::seconds(static_cast<long long>(options.runLimitSeconds)),
                          options.command);
  const RuntimeFolder runtime;
  std::vector<Figure> figures;
  RunSession(options, figures);
  RunImagePeaks(options, runtime.Path(), figures);
  std::cout << "\n";
  PrintTable(figures, std::cout);
  if (!options.jsonPath.empty()) {
    WriteJson(figures, options);
  }
}

// The plug-in is silent by design: whatever it wrote (a sanitizer's report
// above all) is a failure.
std::string PluginOutput(const std::string &path) {
  try {
    return ReadFile(path);
  } catch (const DriverFailure &) {
    return std::string(); // it never started
  }
}

// The failures of the run; none when it passed.
std::vector<std::string> Soak(Options &options) {
  const Watchdog watchdog(
      std::chrono::seconds(static_cast<long long>(options.seconds + 10 * options.hangGuardSeconds)),
      options.command);
  const RuntimeFolder runtime;
  if (options.outputPath.empty()) {
    options.outputPath = runtime.Path() + "/plugin-output.txt";
  }
  SoakResult result;
  try {
    result = RunSoak(options);
  } catch (const std::exception &) {
    const std::string output = PluginOutput(options.outputPath);
    if (!output.empty()) {
      std::cerr << "the plug-in's output:\n" << output.substr(0, 8192) << std::endl;
    }
    throw;
  }
  const std::string output = PluginOutput(options.outputPath);
  if (!output.empty()) {
    result.failures.push_back("the plug-in wrote " + std::to_string(output.size()) +
                              " bytes to its output:\n" + output.substr(0, 8192));
  }
  std::cout << "\n";
  PrintTable(result.figures, std::cout);
  for (const std::string &note : result.notes) {
    std::cout << "soak: note: " << note << std::endl;
  }
  return result.failures;
}

} // namespace

int main(int argc, char *argv[]) {
  Options options;
  options.keyImagePath = ZORVANE_HOST_DRIVER_KEY_IMAGE;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::cerr << "zorvane-host-driver: " << error << "\n" << UsageText(options.command);
    return 2;
  }
  std::vector<std::string> failures;
  try {
    // The settings name the image by a path that holds wherever the plug-in runs.
    options.keyImagePath = std::filesystem::absolute(options.keyImagePath).string();
    if (options.command == "bench") {
      Bench(options);
    } else {
      failures = Soak(options);
    }
  } catch (const std::exception &failure) {
    failures.push_back(failure.what());
  }
  for (const std::string &failure : failures) {
    std::cerr << options.command << ": FAILED: " << failure << std::endl;
  }
  return failures.empty() ? 0 : 1;
}
