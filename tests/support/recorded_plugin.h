// The real plug-in wired to recorders, as start-up wires it to the Stream
// Deck session and the command sender.
#pragma once

#include "plugin/zorvane_plugin.h"
#include "streamdeck/plugin_channel.h"
#include "support/recorders.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct RecordedPlugin {
  // The strips' pictures are made when a test calls MakePictures.
  cZorvanePlugin plugin{cStripPictures::Worker::Caller};
  RecordingSession session;
  RecordingQueue commands;
  ESDPluginChannel channel{"uuid", &session, &plugin};

  RecordedPlugin() {
    plugin.SetChannel(&channel);
    plugin.SetCommandQueue(&commands);
  }

  // One Stream Deck event of an instance, as the session hands it over.
  void Event(const std::string &event, std::string_view action, const std::string &context,
             const std::string &payload = "{}") {
    channel.HandleMessage(R"({"event":")" + event + R"(","action":")" + std::string(action) +
                          R"(","context":")" + context + R"(","device":"dev","payload":)" +
                          payload + "}");
  }
  // The kind and text of every command enqueued so far, then forgets them.
  std::vector<RecordedCommand> TakeCommands() {
    auto taken = commands.Commands();
    commands.Clear();
    return taken;
  }
  // The kind of every command enqueued so far, in order, then forgets them.
  std::vector<std::uint32_t> TakeCommandKinds() {
    std::vector<std::uint32_t> kinds;
    for (const RecordedCommand &command : TakeCommands()) {
      kinds.push_back(command.kind);
    }
    return kinds;
  }
  // Makes every strip picture asked for so far, sending what it shows.
  void MakePictures() { plugin.MakeWaitingPictures(); }
  // Every message sent so far, then forgets them.
  std::vector<Json::Value> TakeMessages() {
    auto taken = session.Messages();
    session.Clear();
    return taken;
  }
};
