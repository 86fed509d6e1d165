// The process-wide objects that start-up builds and publishes, and the
// session worker that runs the Stream Deck session.
#pragma once

#include "app/launch_arguments.h"
#include "desktop/command_sender.h"
#include "platform/platform.h"

#include <future>
#include <thread>

class cZorvanePlugin;
class ESDPluginChannel;
class ESDSession;

// Written only by start-up, before any other thread exists; afterwards its
// pointers are only read. Nothing in it is ever freed.
struct cPluginApp {
  // Nothing reads it. Kept on purpose: it records which thread ran start-up
  // (the main thread), for whoever inspects a running or crashed process.
  std::thread::id startupThread;
  platform::WindowHandleCell *windowHandleCell;
  cZorvanePlugin *plugin;
  ESDPluginChannel *channel;
  cZorvaneCommandSender commandSender;
};

// The published application object, or null before a successful start-up.
cPluginApp *GetPluginApp();

// Builds the localizer, the notification window, the plug-in, the channel, the
// WebSocket session and the command sender, in that order, and publishes cPluginApp as its last
// step. Does nothing when cPluginApp already exists; stops early on failure.
void StartUp(const LaunchArguments &arguments);

// Runs `session`, then asks the notification window to close, however the
// session ended (an exception from it is passed on after the close request).
template <typename Session>
void RunThenCloseWindow(Session &&session, const platform::WindowHandleCell &cell) {
  struct CloseOnExit {
    const platform::WindowHandleCell &cell;
    ~CloseOnExit() { platform::PostCloseRequest(cell.handle.load()); }
  } closeOnExit{cell};
  session();
}

// The session worker's body: runs the WebSocket session, then closes the window.
void RunSessionWorker();

// Runs the main thread's message loop until the window is gone, clears the
// window handle, closes `session` (may be null) however the window went, waits
// for the worker and gives the process exit code: 0 when the session ended,
// 1 when the worker failed.
int RunUntilSessionEnds(platform::WindowHandleCell &cell, std::future<void> &worker,
                        ESDSession *session);
