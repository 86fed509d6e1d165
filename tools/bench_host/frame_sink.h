// Where the host server hands every frame of the plug-in after its
// registration, on the server's network thread. The benchmark checks each
// reply against its expected text; the soak tallies them.
#pragma once

#include <chrono>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

class FrameSink {
public:
  virtual ~FrameSink() = default;

  // A text frame from the plug-in, and when it arrived.
  virtual void OnText(const std::string &text, Clock::time_point arrival) = 0;
  // Any other frame, or a failure of the server itself: always a fault.
  virtual void OnUnexpectedFrame(const std::string &what) = 0;
  // The connection ended.
  virtual void OnConnectionEnded() = 0;
  // Throws BenchFailure if a fault has been seen.
  virtual void ThrowIfFault() const = 0;
};

} // namespace bench
