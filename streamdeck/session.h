// The Stream Deck session as the rest of the plug-in sees it: run it once,
// send text on it from any thread, and end it from any thread.
#pragma once

#include <string>

class ESDSession {
public:
  virtual ~ESDSession() = default;
  // Runs the session on the calling thread until it has ended.
  virtual void Run() = 0;
  // Sends one text message, taking its text over; dropped silently when
  // there is no connection.
  virtual void Send(std::string text) = 0;
  // Ends the session: Run returns soon, or at once if it has not started.
  virtual void Close() = 0;
};
