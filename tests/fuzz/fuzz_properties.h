// What the plug-in may send and queue, whatever its input, checked by the fuzz
// targets on every input: each message for the Stream Deck application is
// JSON in valid UTF-8 and names only contexts that the input introduced (a
// dial's messages only contexts introduced as a dial), and each command for the desktop application
// is one that a row of the key-action table makes. A property that does not hold writes what broke
// to stderr and aborts, which stops libFuzzer and fails the corpus replay alike.
#pragma once

#include "desktop/key_actions.h"
#include "support/recorders.h"

#include <json/json.h>
#include <websocketpp/utf8_validator.hpp>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fuzz {

inline void Require(bool holds, const char *property, const std::string &subject) {
  if (!holds) {
    std::cerr << "property broken: " << property << "\n" << subject << "\n";
    std::abort();
  }
}

// Reads `text` with the given reader settings; true when the reader reported
// no error.
inline bool ReadJson(const Json::CharReaderBuilder &builder, const std::string &text,
                     Json::Value &root) {
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  try {
    return reader->parse(text.data(), text.data() + text.size(), &root, &errors) && errors.empty();
  } catch (const Json::Exception &) {
    return false; // nested too deep
  }
}

// JSON as any strict reader takes it: one object or array, nothing after it,
// no comments, no repeated member.
inline bool ReadStrictJson(const std::string &text, Json::Value &root) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  return ReadJson(builder, text, root);
}

// A text as the JSON writer gives it back: the same for UTF-8; other bytes
// come back changed (see IntroducedContexts).
inline std::string AsWritten(const std::string &text) {
  Json::Value written;
  ReadJson(Json::CharReaderBuilder(),
           Json::writeString(Json::StreamWriterBuilder(), Json::Value(text)), written);
  return written.asString();
}

// The contexts that an input has introduced: the "context" text of every
// inbound event, read as the Stream Deck application's events are read.
//
// A context that is not UTF-8 also counts as the JSON writer writes it. The
// writer changes such bytes (U+FFFD, or a wrong character that swallows the
// next byte), so the Stream Deck application would get a context back that it
// never sent. Raw bytes like that never arrive (the WebSocket session refuses
// a text frame that is not UTF-8), but an escaped lone low surrogate such as
// "\udc94" does, and the reader turns it into such bytes. Left as the writer
// makes it: Stream Deck contexts are ASCII in practice.
class IntroducedContexts {
public:
  void AddFromEvent(const std::string &text) {
    Json::Value event;
    if (ReadJson(Json::CharReaderBuilder(), text, event) && event.isObject() &&
        event["context"].isString()) {
      Add(event["context"].asString(), mContexts);
      const Json::Value &payload = event["payload"];
      if (payload.isObject() && payload["controller"] == "Encoder") {
        Add(event["context"].asString(), mDials);
      }
    }
  }
  bool Contain(const std::string &context) const { return mContexts.count(context) != 0; }
  // Whether an event introduced the context with "controller": "Encoder".
  bool ContainDial(const std::string &context) const { return mDials.count(context) != 0; }

private:
  static void Add(const std::string &context, std::set<std::string> &contexts) {
    contexts.insert(context);
    if (!websocketpp::utf8_validator::validate(context)) {
      contexts.insert(AsWritten(context));
    }
  }

  std::set<std::string> mContexts;
  std::set<std::string> mDials;
};

inline void CheckFrame(const std::string &frame, const IntroducedContexts &contexts) {
  Require(websocketpp::utf8_validator::validate(frame), "a frame is valid UTF-8", frame);
  Json::Value message;
  Require(ReadStrictJson(frame, message) && message.isObject(), "a frame is a JSON object", frame);
  if (message.isMember("context")) {
    const Json::Value &context = message["context"];
    Require(context.isString() && contexts.Contain(context.asString()),
            "a frame names only a context that the input introduced", frame);
    const Json::Value &event = message["event"];
    if (event == "setFeedback" || event == "setSettings") {
      Require(contexts.ContainDial(context.asString()),
              "a dial's frame names only a context introduced as a dial", frame);
    }
  }
}

// The text of a command with a value: {"value1":<value>} and a line feed.
inline bool HasValueOfKind(const std::string &text, KeyValue kind) {
  Json::Value document;
  if (text.empty() || text.back() != '\n' || !ReadStrictJson(text, document) ||
      !document.isObject() || document.size() != 1 || !document.isMember("value1")) {
    return false;
  }
  const Json::Value &value = document["value1"];
  return kind == KeyValue::Integer ? value.isInt() : value.isString() && !value.asString().empty();
}

inline bool IsTableCommand(const KeyAction &row, const RecordedCommand &command) {
  if (row.HasList() && command.kind == row.listRequest) {
    return command.text.empty();
  }
  if (command.kind != row.keyCommand) {
    return false;
  }
  return row.keyValue == KeyValue::None ? command.text.empty()
                                        : HasValueOfKind(command.text, row.keyValue);
}

inline void CheckCommands(const std::vector<RecordedCommand> &commands) {
  for (const RecordedCommand &command : commands) {
    bool inTable = false;
    for (const KeyAction &row : kKeyActions) {
      inTable = inTable || IsTableCommand(row, command);
    }
    Require(inTable, "a command is a key command or list request of the key-action table",
            "kind " + std::to_string(command.kind) + ": " + command.text);
  }
}

// Checks what the plug-in has sent and queued since the last call, and
// forgets it.
inline void CheckSentAndQueued(RecordingSession &session, RecordingQueue &queue,
                               const IntroducedContexts &contexts) {
  for (const std::string &frame : session.Texts()) {
    CheckFrame(frame, contexts);
  }
  CheckCommands(queue.Commands());
  session.Clear();
  queue.Clear();
}

} // namespace fuzz
