// The real plug-in wired to recorders, as start-up wires it to the Stream
// Deck session and the command sender.
#pragma once

#include "plugin/zorvane_plugin.h"
#include "streamdeck/plugin_channel.h"
#include "support/recorders.h"

struct RecordedPlugin {
  cZorvanePlugin plugin;
  RecordingSession session;
  RecordingQueue commands;
  ESDPluginChannel channel{"uuid", &session, &plugin};

  RecordedPlugin() {
    plugin.SetChannel(&channel);
    plugin.SetCommandQueue(&commands);
  }
};
