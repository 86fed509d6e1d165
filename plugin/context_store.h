// The record of every key instance currently visible on a Stream Deck:
// its action, position, settings and open property inspectors.
#pragma once

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct cContextRecord {
  std::string context;
  std::string action;
  std::int32_t row = 0;
  std::int32_t column = 0;
  Json::Value settings;
  std::int32_t inspectorCount = 0;

  // The empty record.
  cContextRecord() = default;
  // Takes "coordinates" and "settings" from an event's payload. Throws the
  // JSON library's error when they cannot be read as such.
  cContextRecord(const std::string &context, const std::string &action,
                 const Json::Value &payload = Json::Value());

  // Settings "value" as a 32-bit integer; 0 when there is none. Throws the
  // JSON library's error when it cannot be converted.
  std::int32_t GetValueAsInt() const;

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
  void UpdateInspectorCount(const std::string &context, const std::string &action, bool appeared);
  cContextRecord Find(const std::string &context, const std::string &action) const;
  std::vector<cContextRecord> GetWithOpenInspector() const;
  std::vector<cContextRecord> GetByAction(std::string_view action) const;

private:
  // Replaces the stored record of (context, action), if any, by a copy that
  // `change` has changed; all under one hold of the mutex.
  template <typename Change>
  void ChangeStored(const std::string &context, const std::string &action, Change change);

  // Guards mRecords. No operation calls another one, sends, enqueues or reads
  // a file while holding it.
  mutable std::mutex mMutex;
  std::unordered_set<cContextRecord, cContextRecordHash> mRecords;
};
