// The plug-in process: checks the launch arguments, starts up, runs the
// Stream Deck session on a worker and the message loop on the main thread
// until the session ends. It prints nothing; the exit code is its only report.
#include "app/launch_arguments.h"
#include "app/plugin_app.h"
#include "platform/platform.h"
#include "plugin/zorvane_plugin.h"
#include "streamdeck/plugin_channel.h"

#include <future>

int main(int argc, char *argv[]) {
  platform::PrepareProcess();
  LaunchArguments arguments;
  if (!ParseLaunchArguments(argc, argv, arguments)) {
    return 1;
  }
  try {
    StartUp(arguments);
    cPluginApp *app = GetPluginApp();
    if (app == nullptr) {
      return 1;
    }
    std::future<void> worker = std::async(std::launch::async, RunSessionWorker);
    const int exitCode =
        RunUntilSessionEnds(*app->windowHandleCell, worker, app->channel->GetSession());
    app->plugin->StopMakingPictures();
    return exitCode;
  } catch (...) {
    // Start-up could not allocate or start the worker: nothing can run.
    return 1;
  }
}
