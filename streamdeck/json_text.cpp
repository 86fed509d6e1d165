#include "streamdeck/json_text.h"

#include <memory>

bool ParseJsonText(const std::string &text, Json::Value &root) {
  // One reader per thread, made on first use: making one costs more than
  // parsing a typical event, and a reader starts afresh with every document.
  thread_local const std::unique_ptr<Json::CharReader> reader(
      Json::CharReaderBuilder().newCharReader());
  std::string errors;
  try {
    reader->parse(text.data(), text.data() + text.size(), &root, &errors);
  } catch (const Json::Exception &) {
    // The reader throws rather than reports when the nesting limit is passed.
    return false;
  }
  return errors.empty();
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
