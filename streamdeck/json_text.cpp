#include "streamdeck/json_text.h"

#include <memory>

JsonTextReader::JsonTextReader() : mReader(Json::CharReaderBuilder().newCharReader()) {}

JsonTextReader::~JsonTextReader() = default;

bool JsonTextReader::Parse(const std::string &text, Json::Value &root) {
  std::string errors;
  try {
    mReader->parse(text.data(), text.data() + text.size(), &root, &errors);
  } catch (const Json::Exception &) {
    // The reader throws rather than reports when the nesting limit is passed.
    return false;
  }
  return errors.empty();
}

bool ParseJsonText(const std::string &text, Json::Value &root) {
  return JsonTextReader().Parse(text, root);
}

std::string WriteStyledJson(const Json::Value &value) {
  Json::StyledWriter writer;
  return writer.write(value);
}

std::string WriteJsonString(const std::string &text) {
  std::string quoted = WriteStyledJson(Json::Value(text));
  quoted.pop_back(); // the writer ends every document with a line feed
  return quoted;
}
