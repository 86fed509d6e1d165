#include "app/launch_arguments.h"

#include "streamdeck/json_text.h"

#include <cstdlib>
#include <cstring>

bool ParseLaunchArguments(int argc, const char *const argv[], LaunchArguments &arguments) {
  if (argc != 9) {
    return false;
  }
  for (int i = 1; i < argc; i += 2) {
    const char *name = argv[i];
    const char *value = argv[i + 1];
    if (std::strcmp(name, "-port") == 0) {
      arguments.port = std::atoi(value);
    } else if (std::strcmp(name, "-pluginUUID") == 0) {
      arguments.pluginUUID = value;
    } else if (std::strcmp(name, "-registerEvent") == 0) {
      arguments.registerEvent = value;
    } else if (std::strcmp(name, "-info") == 0) {
      arguments.info = value;
    }
  }
  return arguments.port != 0 && !arguments.pluginUUID.empty() && !arguments.registerEvent.empty() &&
         !arguments.info.empty();
}

std::string ChooseLanguage(const std::string &info) {
  Json::Value root;
  if (!ParseJsonText(info, root) || !root.isObject()) {
    return "en";
  }
  const Json::Value &application = root["application"];
  if (!application.isObject()) {
    return "en";
  }
  const Json::Value &language = application["language"];
  return language.isString() ? language.asString() : "en";
}
