#include "streamdeck/localizer.h"

#include "platform/platform.h"
#include "streamdeck/paths.h"

#include <fstream>
#include <utility>

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

Localizer::Localizer(Json::Value table) : mTable(std::move(table)) {}

std::string Localizer::Localize(std::string_view text) const {
  if (mTable.isObject()) {
    const Json::Value *entry = mTable.find(text.data(), text.data() + text.size());
    if (entry != nullptr && entry->isString() && !entry->asString().empty()) {
      return entry->asString();
    }
  }
  return std::string(text);
}
