// The messages of the Stream Deck link as the driver writes them: the events
// it sends, compact JSON as the Stream Deck application writes them, and the
// texts that the plug-in must send, written by the product's own JSON
// writer. And the benchmark's check of them: every reply it counts must
// equal its expected text byte for byte, in order.
#pragma once

#include "driver.h"

#include <json/json.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host_driver {

// willAppear, willDisappear, didReceiveSettings, keyDown or keyUp of a key at
// `position` on a 8 x 4 device with `settings` (key presses carry none).
std::string KeyEvent(const std::string &event, const std::string &action,
                     const std::string &context, int position,
                     const Json::Value &settings = Json::Value(Json::objectValue));
// The fields that every event about a key carries.
Json::Value KeyMessage(const std::string &event, const std::string &action,
                       const std::string &context);
// willAppear or dialRotate (by `ticks`, not pressed) of a dial at `position`
// with `settings`.
std::string DialEvent(const std::string &event, const std::string &action,
                      const std::string &context, int position, const Json::Value &settings,
                      int ticks = 0);
// deviceDidConnect (with the device's description) or deviceDidDisconnect.
std::string DeviceEvent(bool connected);
// Settings that name a key image file.
Json::Value ImageSettings(const std::string &path);

// {"event":<registerEvent>,"uuid":<uuid>}.
std::string RegistrationText(const std::string &registerEvent, const std::string &uuid);
// "data:image/png;base64,..." of a PNG file's content.
std::string PngDataUrl(const std::string &fileBytes);
// {"event":"setImage","context":...,"payload":{"image":"data:image/png;base64,...","target":0}}
// for a PNG file's content.
std::string SetImageText(const std::string &context, const std::string &fileBytes);
// {"event":"setState","context":...,"payload":{"state":<state>}}.
std::string SetStateText(const std::string &context, int state);
// {"context":...,"event":<event>,"payload":<payload>}: setFeedback, setSettings.
std::string ToPluginText(const std::string &event, const std::string &context,
                         const Json::Value &payload);
// {"action":...,"context":...,"event":"sendToPropertyInspector","payload":<payload>}.
std::string InspectorText(const std::string &action, const std::string &context,
                          const Json::Value &payload);

// "0x80000": a command's or notification's kind, for messages.
std::string KindText(std::uint64_t kind);
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

// Receives the plug-in's frames on the server's thread and checks them
// against the current phase's expected texts; the driver's thread waits on it.
class ReplyChecker : public FrameSink {
public:
  // Starts a phase whose replies must be exactly `texts`, in this order.
  // The texts must live until the next Expect.
  void Expect(std::vector<const std::string *> texts);

  void OnText(const std::string &text, Clock::time_point arrival) override;
  // A fault while replies are still expected.
  void OnConnectionEnded() override;

  // Waits until `count` replies of the phase have arrived. Throws
  // DriverFailure on the first fault, or when `stallLimit` passes without a new reply.
  void WaitForCount(std::size_t count, std::chrono::milliseconds stallLimit);

  std::size_t Received() const;
  Clock::time_point LastArrival() const;

private:
  // Guarded by mMutex.
  std::vector<const std::string *> mExpected;
  std::size_t mReceived = 0;
  Clock::time_point mLastArrival;
};

} // namespace host_driver
