#include "desktop/commands.h"

#include <json/json.h>

namespace {

std::string WriteValue1(const Json::Value &value) {
  Json::Value document(Json::objectValue);
  document["value1"] = value;
  Json::FastWriter writer;
  return writer.write(document);
}

} // namespace

std::string SerializeValue1(std::int32_t value) {
  return WriteValue1(Json::Value(static_cast<Json::LargestInt>(value)));
}

std::string SerializeValue1(const std::string &value) { return WriteValue1(Json::Value(value)); }
