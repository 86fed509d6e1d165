// The messages of the Stream Deck link as the driver writes them: the events
// it sends, compact JSON as the Stream Deck application writes them, and the
// texts that the plug-in must send, written by the product's own JSON writer.
#pragma once

#include "driver.h"

#include <chrono>
#include <cstddef>
#include <json/json.h>
#include <string>
#include <vector>

namespace host_driver {

// willAppear, willDisappear, didReceiveSettings, keyDown or keyUp of a key at
// `position` on a 8 x 4 device with `settings` (key presses carry none).
std::string KeyEvent(const std::string &event, const std::string &action,
                     const std::string &context, int position,
                     const Json::Value &settings = Json::Value(Json::objectValue));

// propertyInspectorDidAppear or propertyInspectorDidDisappear.
std::string InspectorEvent(bool appeared, const std::string &action, const std::string &context);
// What a property inspector sends to the plug-in: {"request": `request`}.
std::string SendToPluginEvent(const std::string &action, const std::string &context,
                              const std::string &request);
// deviceDidConnect (with the device's description) or deviceDidDisconnect.
std::string DeviceEvent(bool connected);
// applicationDidLaunch or applicationDidTerminate for `application`.
std::string ApplicationEvent(bool launched, const std::string &application);

// Settings that name a key image file.
Json::Value ImageSettings(const std::string &path);

// The registration frame: {"event":<registerEvent>,"uuid":<uuid>}.
std::string RegistrationText(const std::string &registerEvent, const std::string &uuid);

// The setImage that shows `fileBytes` (a PNG file's content) on the key
// `context`: {"event":"setImage","context":...,"payload":{"image":
// "data:image/png;base64,...","target":0}}.
std::string SetImageText(const std::string &context, const std::string &fileBytes);

// The setState for `context`: {"event":"setState","context":...,"payload":
// {"state":<state>}}.
std::string SetStateText(const std::string &context, int state);

// What a property inspector receives: {"action":...,"context":...,"event":
// "sendToPropertyInspector","payload":<payload>}.
std::string InspectorText(const std::string &action, const std::string &context,
                          const Json::Value &payload);

// The start of `text` on one line, quoted, with its size: for messages.
std::string Excerpt(const std::string &text);

// The key that event `index` of a burst names, out of `keyCount`: a fixed
// pseudo-random choice, so that a lost, repeated or reordered reply shows as
// a wrong text within a few replies (neighbouring events rarely share a key).
std::size_t KeyOfEvent(std::size_t index, std::size_t keyCount);

// Why `received` is not `expected` (reply `index` of `count`), in words:
// another key's reply, a wrong text for the right key, or something else.
std::string DescribeMismatch(const std::string &expected, const std::string &received,
                             std::size_t index, std::size_t count);

} // namespace host_driver
