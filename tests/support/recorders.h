// Recording stand-ins for the plug-in's two ways out: the Stream Deck session
// and the command queue. They let the plug-in logic run with no network and
// no desktop application.
#pragma once

#include "desktop/command_sender.h"
#include "streamdeck/json_text.h"
#include "streamdeck/session.h"

#include <json/json.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class RecordingSession : public ESDSession {
public:
  // Called on the sending thread with each text before it is recorded, where
  // it would leave for the Stream Deck application: a test's seam. Set before
  // any other thread sends.
  std::function<void(const std::string &)> beforeRecording;

  void Run() override {}
  void Close() override {}
  void Send(std::string text) override {
    if (beforeRecording) {
      beforeRecording(text);
    }
    const std::lock_guard<std::mutex> lock(mMutex);
    mSent.push_back(std::move(text));
  }
  std::vector<std::string> Texts() const {
    const std::lock_guard<std::mutex> lock(mMutex);
    return mSent;
  }
  // The sent messages, parsed.
  std::vector<Json::Value> Messages() const {
    std::vector<Json::Value> messages;
    for (const std::string &text : Texts()) {
      Json::Value message;
      ParseJsonText(text, message);
      messages.push_back(message);
    }
    return messages;
  }
  void Clear() {
    const std::lock_guard<std::mutex> lock(mMutex);
    mSent.clear();
  }

private:
  mutable std::mutex mMutex;
  std::vector<std::string> mSent;
};

struct RecordedCommand {
  std::uint32_t kind;
  std::string text;
};

class RecordingQueue : public cCommandQueue {
public:
  void EnqueueCommand(std::unique_ptr<const cCommand> command) override {
    const std::lock_guard<std::mutex> lock(mMutex);
    mCommands.push_back({command->GetKind(), command->Serialize()});
  }
  std::vector<RecordedCommand> Commands() const {
    const std::lock_guard<std::mutex> lock(mMutex);
    return mCommands;
  }
  void Clear() {
    const std::lock_guard<std::mutex> lock(mMutex);
    mCommands.clear();
  }

private:
  mutable std::mutex mMutex;
  std::vector<RecordedCommand> mCommands;
};
