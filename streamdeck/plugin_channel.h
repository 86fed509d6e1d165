// The plug-in's side of the Stream Deck link: turns inbound text into calls on
// the plug-in's event interface.
#pragma once

#include <string>

class ESDBasePlugin;
class ESDWebsocketWrapper;

class ESDPluginChannel {
public:
  ESDPluginChannel(std::string pluginUUID, ESDWebsocketWrapper *session, ESDBasePlugin *plugin);

  // Set once by start-up, before any other thread exists.
  void SetSession(ESDWebsocketWrapper *session) { mSession = session; }
  ESDWebsocketWrapper *GetSession() const { return mSession; }

  // Parses one inbound text message and calls the one event operation that its
  // "event" names. Anything unusable is dropped without a word.
  void HandleMessage(const std::string &text);

private:
  std::string mPluginUUID;
  ESDWebsocketWrapper *mSession;
  ESDBasePlugin *mPlugin;
};
