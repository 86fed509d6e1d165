// The localization table of the host's language, loaded once at start-up from
// "<language>.json" in the plug-in folder.
#pragma once

#include <json/json.h>

#include <string>

// The "Localization" object of `folder`'s language file, or null when the
// file is missing, does not parse, or holds no such object.
Json::Value LoadLocalizationTable(const std::string &folder, const std::string &language);

class Localizer {
public:
  explicit Localizer(const std::string &language);

private:
  // Nothing reads it: there is no look-up, and no text on a key comes from it.
  // Kept on purpose: the language file's table is loaded once and held for the
  // life of the process, whatever the load found.
  Json::Value mTable;
};
