#include "app/plugin_app.h"

#include "plugin/zorvane_plugin.h"
#include "streamdeck/localizer.h"
#include "streamdeck/plugin_channel.h"
#include "streamdeck/session.h"
#include "streamdeck/websocket_wrapper.h"

namespace {

cPluginApp *gPluginApp = nullptr;
Localizer *gLocalizer = nullptr;

// WM_COPYDATA of the notification window, on the main thread. The desktop
// application is looked up for every message: only its window may notify.
std::intptr_t OnDesktopNotification(platform::WindowHandle sender, const platform::CopyData *data) {
  const platform::WindowHandle desktop = platform::FindDesktopWindow();
  if (gPluginApp == nullptr) {
    return 0;
  }
  return HandleNotification(sender, data, desktop, *gPluginApp->plugin);
}

} // namespace

cPluginApp *GetPluginApp() { return gPluginApp; }

void StartUp(const LaunchArguments &arguments) {
  if (gPluginApp != nullptr) {
    return;
  }
  const std::string language = ChooseLanguage(arguments.info);
  if (gLocalizer == nullptr) {
    gLocalizer = new Localizer(language);
  }
  auto *cell = new platform::WindowHandleCell;
  if (platform::CreateNotificationWindow(*cell, OnDesktopNotification) != 0) {
    delete cell;
    return;
  }
  auto *plugin = new cZorvanePlugin;
  plugin->SetLocalizer(gLocalizer);
  auto *channel = new ESDPluginChannel(arguments.pluginUUID, nullptr, plugin);
  plugin->SetChannel(channel);
  auto *session = new ESDWebsocketWrapper(arguments.port, arguments.pluginUUID,
                                          arguments.registerEvent, channel);
  channel->SetSession(session);
  auto *app = new cPluginApp{std::this_thread::get_id(), cell, plugin, channel,
                             cZorvaneCommandSender(*cell)};
  plugin->SetCommandQueue(&app->commandSender);
  gPluginApp = app;
}

void RunSessionWorker() {
  const cPluginApp &app = *GetPluginApp();
  RunThenCloseWindow(
      [&app] {
        if (ESDSession *session = app.channel->GetSession()) {
          session->Run();
        }
      },
      *app.windowHandleCell);
}

int RunUntilSessionEnds(platform::WindowHandleCell &cell, std::future<void> &worker,
                        ESDSession *session) {
  platform::RunMessageLoop();
  cell.handle.store(nullptr);
  // The window may have gone first (a close request from anyone, a signal):
  // the session ends too, so that the worker returns.
  if (session != nullptr) {
    session->Close();
  }
  try {
    worker.get();
  } catch (...) {
    // The session ended by an unexpected failure; the window is closed all the same.
    return 1;
  }
  return 0;
}
