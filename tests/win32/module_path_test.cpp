// The executable's own path and the file-system path conversion.
#include "platform/platform.h"
#include "test_harness.h"

#include <windows.h>

#include <string>

namespace {

bool EndsWithIgnoringCase(const std::string &text, const std::string &end) {
  return text.size() >= end.size() &&
         ::lstrcmpiA(text.c_str() + (text.size() - end.size()), end.c_str()) == 0;
}

} // namespace

WIN32TEST_CASE(executable_path_names_this_program) {
  const std::string path = platform::GetExecutablePath();

  WIN32TEST_CHECK(EndsWithIgnoringCase(path, "\\zorvane_win32_tests.exe"));
  // A full path with a drive, of a file that exists.
  WIN32TEST_CHECK(path.size() > 3 && path[1] == ':' && path[2] == '\\');
  WIN32TEST_CHECK(path.find('\0') == std::string::npos);
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  WIN32TEST_CHECK(attributes != INVALID_FILE_ATTRIBUTES);
  WIN32TEST_CHECK((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
}

WIN32TEST_CASE(file_system_path_is_unchanged) {
  WIN32TEST_CHECK(platform::ToFileSystemPath("C:\\tools\\x.sdPlugin\\en.json") ==
                  "C:\\tools\\x.sdPlugin\\en.json");
  WIN32TEST_CHECK(platform::ToFileSystemPath("b/c.json") == "b/c.json");
  WIN32TEST_CHECK(platform::ToFileSystemPath("").empty());
}
