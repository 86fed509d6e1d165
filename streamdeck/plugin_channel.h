// The plug-in's side of the Stream Deck link: turns inbound text into calls on
// the plug-in's event interface, and builds the messages the plug-in sends.
#pragma once

#include "streamdeck/json_text.h"

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <string>

class ESDBasePlugin;
class ESDSession;

class ESDPluginChannel {
public:
  ESDPluginChannel(std::string pluginUUID, ESDSession *session, ESDBasePlugin *plugin);

  // Set once by start-up, before any other thread exists.
  void SetSession(ESDSession *session) { mSession = session; }
  ESDSession *GetSession() const { return mSession; }

  // Parses one inbound text message and calls the one event operation that its
  // "event" names. Anything unusable is dropped without a word, and so is an
  // event whose operation fails with an exception. Called by one thread at a
  // time (the session worker).
  void HandleMessage(const std::string &text);

  // The outbound messages. Callable from any thread; nothing is sent while
  // there is no session, and a message that cannot be delivered is lost.
  // `image` is base64 PNG data, with or without its data-URL prefix.
  void SetImage(const std::string &image, const std::string &context);
  // The same message for raw PNG bytes, which are encoded straight into the
  // message's text: the image is not copied again on its way out.
  void SetImage(const unsigned char *png, std::size_t size, const std::string &context);
  void SetState(std::int32_t state, const std::string &context);
  void SendToPropertyInspector(const std::string &action, const std::string &context,
                               const Json::Value &payload);
  // For an encoder: the items of its touch-strip layout to change ("title",
  // "value", "icon", "indicator"), and the whole settings object that the
  // Stream Deck application stores for the instance and hands to its property
  // inspector. `pngDataUrl`, when given, is the "icon": a PNG data URL in
  // Base64, whose characters JSON never escapes, copied into the text as it
  // is rather than quoted character by character.
  void SetFeedback(Json::Value payload, const std::string &context,
                   const std::string &pngDataUrl = std::string());
  void SetSettings(Json::Value settings, const std::string &context);

private:
  void Dispatch(const std::string &text);
  // Sends {"event", "context", "payload"}: the form of every message about one instance.
  void SendForContext(const char *event, const std::string &context, Json::Value payload);
  void Send(const Json::Value &message);
  void Send(std::string text);

  // Nothing reads it; the session sends its own copy at registration. Kept on
  // purpose so that the channel carries the identity of the plug-in instance
  // it serves.
  std::string mPluginUUID;
  ESDSession *mSession;
  JsonTextReader mReader; // HandleMessage's own
  ESDBasePlugin *mPlugin;
};
