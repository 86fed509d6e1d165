// The checks of what the plug-in sends. The benchmark's: every reply it counts
// must equal its expected text byte for byte, in order. The soak's: every
// frame to the host must be one that some event or notification of the soak
// can cause, byte for byte; every command from a key release must reach the
// desktop window, in order.
#pragma once

#include "messages.h"
#include "session.h"
#include "soak_script.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

namespace host_driver {

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

// The kinds of frame that the soak tells apart.
enum class FrameKind {
  KeyImage,       // setImage of a key other than a quick-slot key: only events cause it
  QuickslotImage, // setImage of a quick-slot key: events and notifications cause it
  State,          // setState
  Inspector,      // sendToPropertyInspector: a list, or that the application closed
  Final,          // setImage of the key that the soak's last event names
};
constexpr std::size_t kFrameKinds = 5;

// Every text the plug-in may send in the soak, with its kind: the images of
// `keys` (showing `png`) and of `finalContext`, the states of broadcast and
// pose keys, and the inspector payloads of every key.
std::unordered_map<std::string, FrameKind> SoakFrameTexts(const std::vector<SoakKey> &keys,
                                                          const std::string &png,
                                                          const std::string &finalContext);

class SoakFrames : public FrameSink {
public:
  explicit SoakFrames(std::unordered_map<std::string, FrameKind> texts);

  void OnText(const std::string &text, Clock::time_point arrival) override;
  // A fault unless ExpectClose came first.
  void OnConnectionEnded() override;

  // The driver is about to close the connection.
  void ExpectClose();

  std::size_t Count(FrameKind kind) const;
  std::uint64_t Frames() const;
  // Waits up to `limit` until `count` frames of `kind` have arrived; false
  // when they have not, or on a fault.
  bool WaitForCount(FrameKind kind, std::size_t count, std::chrono::milliseconds limit);

private:
  const std::unordered_map<std::string, FrameKind> mTexts;
  // Guarded by mMutex.
  std::array<std::size_t, kFrameKinds> mCounts{};
  std::uint64_t mFrames = 0;
  bool mClosing = false;
};

// The commands that key releases must deliver, in order. List requests may
// come between them at any point: inspectors and the desktop application's
// refresh requests cause them.
class PressLedger {
public:
  void Expect(const ExpectedCommand &command);
  // Checks one command that reached the desktop window; returns what is
  // wrong with it, or the empty text.
  std::string Receive(const ReceivedCommand &command);

  std::size_t Outstanding() const { return mExpected.size(); }
  std::size_t Delivered() const { return mDelivered; }
  std::size_t ListRequests() const { return mListRequests; }

private:
  std::deque<ExpectedCommand> mExpected;
  std::size_t mDelivered = 0;
  std::size_t mListRequests = 0;
};

} // namespace host_driver
