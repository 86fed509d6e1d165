// Reading and writing JSON text the way both peers expect it.
#pragma once

#include <json/json.h>

#include <memory>
#include <string>

// Parses `text` with the reader's default settings (comments allowed, text
// after the first value ignored, nesting limited to 1000 levels). A document
// counts only when the reader reports no error.
bool ParseJsonText(const std::string &text, Json::Value &root);

// The same parse with one reader kept for every document, for a caller that
// parses often: making a reader costs more than parsing a typical event. Not
// for use by two threads at once.
class JsonTextReader {
public:
  JsonTextReader();
  ~JsonTextReader();
  bool Parse(const std::string &text, Json::Value &root);

private:
  std::unique_ptr<Json::CharReader> mReader;
};

// The multi-line form, three blanks of indentation, members in key order and a
// line end at the end, as the Stream Deck application is sent.
std::string WriteStyledJson(const Json::Value &value);

// One string as Json::StyledWriter quotes it inside a document: escapes and
// \u sequences as that writer makes them, so the result is plain ASCII.
std::string WriteJsonString(const std::string &text);
