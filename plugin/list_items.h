// The desktop application's item lists read element by element, exactly as
// the property inspector's items.js reads them (docs/property-inspector.md
// lists the forms), so that a dial and the inspector name the same items.
// tests/support/list_item_cases.json holds the cases that both must read alike.
#pragma once

#include <json/json.h>

#include <string>
#include <vector>

struct ListItem {
  // The text shown for the item.
  std::string text;
  // What is written to the "value" setting: an integer for a number action,
  // a string for a text action.
  Json::Value value;
  // The value as text, as a stored "value" is compared with it.
  std::string valueText;
  // The thumbnail's file path, or empty when the item has none or its
  // thumbnail is a URL.
  std::string thumbnailFile;
};

// The usable elements of the list document's "itemList", in order; elements
// that are no items are left out. `numeric` for the actions whose value is a
// number.
std::vector<ListItem> ReadListItems(const Json::Value &document, bool numeric);

// A JSON value as JavaScript's String() writes it, for strings, numbers and
// booleans; empty for null and anything else.
std::string JavaScriptText(const Json::Value &value);
