#include "streamdeck/localizer.h"

#include "platform/platform.h"
#include "streamdeck/paths.h"

#include <fstream>

Json::Value LoadLocalizationTable(const std::string &folder, const std::string &language) {
  if (language.empty() || folder.empty()) {
    return Json::Value();
  }
  const std::string path = JoinPath(folder, language + ".json");
  std::ifstream file(platform::ToFileSystemPath(path));
  if (!file.is_open()) {
    return Json::Value();
  }
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  Json::Value root;
  std::string errors;
  bool parsed = false;
  try {
    parsed = Json::parseFromStream(builder, file, &root, &errors);
  } catch (const Json::Exception &) {
    // Passing the nesting limit throws instead of reporting; it fails the load all the same.
  }
  if (!parsed || !root.isObject()) {
    return Json::Value();
  }
  const Json::Value &table = root["Localization"];
  return table.isObject() ? table : Json::Value();
}

Localizer::Localizer(const std::string &language)
    : mTable(LoadLocalizationTable(GetPluginFolder(), language)) {}
