// The localization table of the host's language, loaded once at start-up from
// "<language>.json" in the plug-in folder.
#pragma once

#include <json/json.h>

#include <string>
#include <string_view>

// The "Localization" object of `folder`'s language file, or null when the
// file is missing, does not parse, or holds no such object.
Json::Value LoadLocalizationTable(const std::string &folder, const std::string &language);

// Read-only once made, so any thread may look texts up.
class Localizer {
public:
  // The table of the plug-in folder's language file.
  explicit Localizer(const std::string &language);
  // A table as LoadLocalizationTable gives it.
  explicit Localizer(Json::Value table);

  // The table's text for the English `text`; the English text itself when the
  // table has no non-empty string for it.
  std::string Localize(std::string_view text) const;

private:
  // The language file's table, loaded once and held for the life of the
  // process, whatever the load found; keys hold no text from it.
  Json::Value mTable;
};
