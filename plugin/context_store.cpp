#include "plugin/context_store.h"

#include <algorithm>
#include <utility>

cContextRecord::cContextRecord(const std::string &context_, const std::string &action_,
                               const Json::Value &payload)
    : context(context_), action(action_) {
  const Json::Value &coordinates = payload["coordinates"];
  row = coordinates["row"].asInt();
  column = coordinates["column"].asInt();
  settings = payload["settings"];
  const Json::Value &controllerName = payload["controller"];
  if (controllerName.isString() && controllerName.asString() == "Encoder") {
    controller = Controller::Encoder;
  }
}

std::int32_t cContextRecord::GetValueAsInt() const {
  const Json::Value &value = settings["value"];
  return value.asInt();
}

void cContextStore::Add(const std::string &context, const std::string &action,
                        const Json::Value &payload) {
  if (context.empty() || action.empty()) {
    return;
  }
  const std::lock_guard<std::mutex> lock(mMutex);
  // A key that is already stored keeps its record, settings included.
  mRecords.insert(cContextRecord(context, action, payload));
}

void cContextStore::Remove(const std::string &context, const std::string &action) {
  if (context.empty() || action.empty()) {
    return;
  }
  const std::lock_guard<std::mutex> lock(mMutex);
  mRecords.erase(cContextRecord(context, action));
}

template <typename Change>
void cContextStore::ChangeStored(const std::string &context, const std::string &action,
                                 Change change) {
  if (context.empty() || action.empty()) {
    return;
  }
  const std::lock_guard<std::mutex> lock(mMutex);
  const auto stored = mRecords.find(cContextRecord(context, action));
  if (stored == mRecords.end()) {
    return;
  }
  // Stored records are never changed in place: a changed copy replaces them.
  cContextRecord changed = *stored;
  change(changed);
  mRecords.erase(stored);
  mRecords.insert(std::move(changed));
}

void cContextStore::UpdateSettings(const std::string &context, const std::string &action,
                                   const Json::Value &payload) {
  ChangeStored(context, action,
               [&payload](cContextRecord &record) { record.settings = payload["settings"]; });
}

void cContextStore::ReplaceSettings(const std::string &context, const std::string &action,
                                    const Json::Value &settings) {
  ChangeStored(context, action,
               [&settings](cContextRecord &record) { record.settings = settings; });
}

void cContextStore::UpdateInspectorCount(const std::string &context, const std::string &action,
                                         bool appeared) {
  ChangeStored(context, action, [appeared](cContextRecord &record) {
    record.inspectorCount = std::max(0, record.inspectorCount + (appeared ? 1 : -1));
  });
}

cContextRecord cContextStore::Find(const std::string &context, const std::string &action) const {
  const std::lock_guard<std::mutex> lock(mMutex);
  const auto stored = mRecords.find(cContextRecord(context, action));
  return stored == mRecords.end() ? cContextRecord() : *stored;
}

template <typename Matches>
std::vector<cContextRecord> cContextStore::GetWhere(Matches matches) const {
  const std::lock_guard<std::mutex> lock(mMutex);
  std::vector<cContextRecord> matching;
  for (const cContextRecord &record : mRecords) {
    if (matches(record)) {
      matching.push_back(record);
    }
  }
  return matching;
}

std::vector<cContextRecord> cContextStore::GetWithOpenInspector() const {
  return GetWhere([](const cContextRecord &record) { return record.inspectorCount >= 1; });
}

std::vector<cContextRecord> cContextStore::GetByAction(std::string_view action) const {
  return GetWhere([action](const cContextRecord &record) { return record.action == action; });
}

std::vector<cContextRecord> cContextStore::GetByAction(std::string_view action,
                                                       Controller controller) const {
  return GetWhere([action, controller](const cContextRecord &record) {
    return record.action == action && record.controller == controller;
  });
}
