// Writes the plug-in's key action table as JSON, so that what is declared
// beside the C++ table (the manifest, the property inspector's actions.js)
// can be held to it by a test.
//
// usage: zorvane-action-table OUTPUT.json
#include "desktop/key_actions.h"
#include "plugin/dial_strip.h"

#include <json/json.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <string>

namespace {

const char *ValueKindName(KeyValue kind) {
  switch (kind) {
  case KeyValue::None:
    return "none";
  case KeyValue::Integer:
    return "integer";
  case KeyValue::Text:
    return "text";
  }
  return "unknown";
}

Json::Value RowAsJson(const KeyAction &action) {
  Json::Value row(Json::objectValue);
  row["identifier"] = std::string(action.identifier);
  row["keyCommand"] = action.keyCommand;
  row["keyValue"] = ValueKindName(action.keyValue);
  row["listRequest"] = action.listRequest;
  row["listKind"] = action.listKind;
  row["listType"] = action.HasList() ? Json::Value(action.listType) : Json::Value();
  row["listItemsHaveImagePath"] = action.listItemsHaveImagePath;
  row["dialIcon"] = DialIconFile(action);
  row["dialTurns"] = action.dial.turns;
  Json::Value &texts = row["dialTexts"] = Json::Value(Json::arrayValue);
  if (action.dial.ShowsState()) {
    texts.append(std::string(action.dial.onText));
    texts.append(std::string(action.dial.offText));
  }
  return row;
}

Json::Value TableAsJson() {
  Json::Value table(Json::arrayValue);
  for (const KeyAction &action : kKeyActions) {
    table.append(RowAsJson(action));
  }
  return table;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::cerr << "usage: zorvane-action-table OUTPUT.json\n";
    return 2;
  }
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "  ";
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << Json::writeString(builder, TableAsJson()) << '\n';
  out.close();
  if (!out) {
    std::cerr << "zorvane-action-table: cannot write " << argv[1] << '\n';
    return 1;
  }
  return 0;
}
