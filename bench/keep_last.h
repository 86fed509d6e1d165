// The plug-in's two ways out for the micro-benchmarks: each keeps only the
// last thing handed to it, so that millions of iterations need no more
// memory than one.
#pragma once

#include "desktop/command_sender.h"
#include "streamdeck/session.h"

#include <memory>
#include <string>

// Keeps the last text, taken over as the WebSocket session takes it.
class LastTextSession : public ESDSession {
public:
  void Run() override {}
  void Close() override {}
  void Send(std::string text) override { mLast = std::move(text); }
  const std::string &Last() const { return mLast; }

private:
  std::string mLast;
};

class LastCommandQueue : public cCommandQueue {
public:
  void EnqueueCommand(std::unique_ptr<const cCommand> command) override {
    mLast = std::move(command);
  }
  const cCommand *Last() const { return mLast.get(); }

private:
  std::unique_ptr<const cCommand> mLast;
};
