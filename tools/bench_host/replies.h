// The texts that the plug-in must send, and the check of every reply the
// driver counts: each must equal its expected text byte for byte, in order.
#pragma once

#include "frame_sink.h"

#include <json/json.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace bench {

// The registration frame: {"event":<registerEvent>,"uuid":<uuid>} as the
// JSON library's styled writer lays it out.
std::string RegistrationText(const std::string &registerEvent, const std::string &uuid);

// The setImage that shows `fileBytes` (a PNG file's content) on the key
// `context`: {"event":"setImage","context":...,"payload":{"image":
// "data:image/png;base64,...","target":0}} as the styled writer lays it out.
std::string SetImageText(const std::string &context, const std::string &fileBytes);

// The setState for `context`: {"event":"setState","context":...,"payload":
// {"state":<state>}} as the styled writer lays it out.
std::string SetStateText(const std::string &context, int state);

// What a property inspector receives: {"action":...,"context":...,"event":
// "sendToPropertyInspector","payload":<payload>} as the styled writer lays it out.
std::string InspectorText(const std::string &action, const std::string &context,
                          const Json::Value &payload);

// The start of `text` on one line, quoted, with its size: for messages.
std::string Excerpt(const std::string &text);

// The key that event `index` of a burst names, out of `keyCount`: a fixed
// pseudo-random choice, so that a lost, repeated or reordered reply shows as
// a wrong text within a few replies (neighbouring events rarely share a key).
std::size_t KeyOfEvent(std::size_t index, std::size_t keyCount);

// Receives the plug-in's frames on the server's thread and checks them
// against the current phase's expected texts; the driver's thread waits on it.
class ReplyChecker : public FrameSink {
public:
  // Starts a phase whose replies must be exactly `texts`, in this order.
  // The texts must live until the next Expect.
  void Expect(std::vector<const std::string *> texts);

  void OnText(const std::string &text, Clock::time_point arrival) override;
  void OnUnexpectedFrame(const std::string &what) override;
  // A fault while replies are still expected.
  void OnConnectionEnded() override;

  // Waits until `count` replies of the phase have arrived. Throws
  // BenchFailure on the first fault, or when `stallLimit` passes without a new reply.
  void WaitForCount(std::size_t count, std::chrono::milliseconds stallLimit);
  void ThrowIfFault() const override;

  std::size_t Received() const;
  Clock::time_point LastArrival() const;

private:
  void SetFault(const std::string &fault);

  // Guards every member below. Held only to read or update them; the byte
  // comparison of a reply runs outside it.
  mutable std::mutex mMutex;
  std::condition_variable mChanged;
  std::vector<const std::string *> mExpected;
  std::size_t mReceived = 0;
  Clock::time_point mLastArrival;
  std::string mFault;
};

// Why `received` is not `expected` (reply `index` of `count`), in words:
// another key's reply, a wrong text for the right key, or something else.
std::string DescribeMismatch(const std::string &expected, const std::string &received,
                             std::size_t index, std::size_t count);

} // namespace bench
