// The record of every action instance currently visible on a Stream Deck, on
// a key or on a dial: its action, position, settings and open property
// inspectors.
#pragma once

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// Where an instance sits: on a key, or on a dial (the Stream Deck
// application's "Encoder"), which has events and a touch strip of its own.
enum class Controller { Keypad, Encoder };

struct cContextRecord {
  std::string context;
  std::string action;
  Controller controller = Controller::Keypad;
  std::int32_t row = 0;
  std::int32_t column = 0;
  Json::Value settings;
  std::int32_t inspectorCount = 0;

  // The empty record.
  cContextRecord() = default;
  // Takes "coordinates", "settings" and "controller" from an event's payload:
  // a dial when "controller" is "Encoder", a key otherwise. Throws the JSON
  // library's error when they cannot be read as such.
  cContextRecord(const std::string &context, const std::string &action,
                 const Json::Value &payload = Json::Value());

  // Settings "value" as a 32-bit integer; 0 when there is none. Throws the
  // JSON library's error when it cannot be converted.
  std::int32_t GetValueAsInt() const;

  bool IsEncoder() const { return controller == Controller::Encoder; }

  // Records are keyed by (context, action) alone.
  bool operator==(const cContextRecord &other) const {
    return context == other.context && action == other.action;
  }
};

struct cContextRecordHash {
  std::size_t operator()(const cContextRecord &record) const {
    const std::hash<std::string> hash;
    return hash(record.context) ^ hash(record.action);
  }
};

// Used from the session worker and the main thread. Every operation holds the
// mutex for its whole run and for nothing else, and hands out copies only.
class cContextStore {
public:
  void Add(const std::string &context, const std::string &action, const Json::Value &payload);
  void Remove(const std::string &context, const std::string &action);
  void UpdateSettings(const std::string &context, const std::string &action,
                      const Json::Value &payload);
  // Stores `settings` as the settings of (context, action).
  void ReplaceSettings(const std::string &context, const std::string &action,
                       const Json::Value &settings);
  void UpdateInspectorCount(const std::string &context, const std::string &action, bool appeared);
  cContextRecord Find(const std::string &context, const std::string &action) const;
  std::vector<cContextRecord> GetWithOpenInspector() const;
  std::vector<cContextRecord> GetByAction(std::string_view action) const;
  // Only the instances of the action on keys, or only those on dials.
  std::vector<cContextRecord> GetByAction(std::string_view action, Controller controller) const;

private:
  // Replaces the stored record of (context, action), if any, by a copy that
  // `change` has changed; all under one hold of the mutex.
  template <typename Change>
  void ChangeStored(const std::string &context, const std::string &action, Change change);
  // Copies of the stored records that `matches`, under one hold of the mutex.
  template <typename Matches> std::vector<cContextRecord> GetWhere(Matches matches) const;

  // Guards mRecords. No operation calls another one, sends, enqueues or reads
  // a file while holding it.
  mutable std::mutex mMutex;
  std::unordered_set<cContextRecord, cContextRecordHash> mRecords;
};
