// The four launch values that the Stream Deck application passes, and the
// language picked from its "-info" document.
#pragma once

#include <string>

struct LaunchArguments {
  int port = 0;
  std::string pluginUUID;
  std::string registerEvent;
  std::string info;
};

// Reads "-port", "-pluginUUID", "-registerEvent" and "-info" from exactly four
// name/value pairs in any order; a later duplicate wins and unknown names are
// skipped. Returns false when the count is wrong or a value is missing.
bool ParseLaunchArguments(int argc, const char *const argv[], LaunchArguments &arguments);

// The host's "application" -> "language" string, or "en" when there is none.
std::string ChooseLanguage(const std::string &info);
