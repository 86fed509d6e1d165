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
#include "options.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace {

using namespace host_driver;

// A private runtime folder for the desktop link, which the driver's own
// window and the plug-in (through the inherited environment) both use, and
// where the driver keeps its files.
std::string MakeRuntimeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zorvane-driver-XXXXXX").string();
  if (::mkdtemp(&pattern[0]) == nullptr) {
    throw DriverFailure("cannot create a folder in " +
                        std::filesystem::temp_directory_path().string());
  }
  ::setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
  return pattern;
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
  std::string folder;
  try {
    // The settings name the image by a path that holds wherever the plug-in runs.
    options.keyImagePath = std::filesystem::absolute(options.keyImagePath).string();
    const bool bench = options.command == "bench";
    const double limit =
        bench ? options.runLimitSeconds : options.seconds + 10 * options.hangGuardSeconds;
    StartWatchdog(std::chrono::seconds(static_cast<long long>(limit)), options.command);
    folder = MakeRuntimeFolder();
    failures = bench ? RunBench(options, folder) : RunSoak(options, folder);
  } catch (const std::exception &failure) {
    failures.push_back(failure.what());
  }
  std::error_code ignored; // a folder left in the temp directory harms nothing
  std::filesystem::remove_all(folder, ignored);
  for (const std::string &failure : failures) {
    std::cerr << options.command << ": FAILED: " << failure << std::endl;
  }
  return failures.empty() ? 0 : 1;
}
