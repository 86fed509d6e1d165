// Path operations on byte strings that may use either separator, and the
// search for the plug-in folder (the one whose name ends in ".sdPlugin").
#pragma once

#include <string>

// Joins a folder and a name with one backslash between them; the result uses
// backslashes only. An empty folder gives the name unchanged.
std::string JoinPath(const std::string &folder, const std::string &name);

// The last component of a path; a drive root or a lone separator is returned whole.
std::string GetFileName(const std::string &path);

// The path one level up; a drive root or a share root is returned unchanged.
std::string GetParentPath(const std::string &path);

// True for "\\server" and "\\server\share", false for anything deeper.
bool IsShareRoot(const std::string &path);

// Walks up from `executablePath` to the first folder whose extension is
// ".sdPlugin"; the empty string when there is none.
std::string FindPluginFolder(const std::string &executablePath);

// The plug-in folder of the running executable, searched until found once.
std::string GetPluginFolder();
