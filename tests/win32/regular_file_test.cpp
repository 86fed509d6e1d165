// Key image files on Windows: only a regular file opens, a pipe, a device or
// a folder is refused at once, and names are taken as UTF-8.
#include "platform/platform.h"
#include "test_harness.h"

#include <windows.h>

#include <string>

namespace {

std::string TempFolder() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetTempPathA(MAX_PATH, path);
  return std::string(path, length);
}

// Writes `bytes` to a new file named by the wide `name` in the temp folder.
bool WriteFile(const std::wstring &path, const std::string &bytes) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes.size();
}

std::wstring WideTempFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH, path);
  return std::wstring(path, length);
}

} // namespace

WIN32TEST_CASE(regular_file_opens_with_its_size_and_reads_whole) {
  // "bild-ä.png": the plug-in passes the name as UTF-8.
  const std::wstring wide = WideTempFolder() + L"zorvane-bild-\u00e4.png";
  const std::string utf8 = TempFolder() + "zorvane-bild-\xc3\xa4.png";
  WIN32TEST_CHECK(WriteFile(wide, std::string("\x89PNG\0rest", 9)));
  {
    platform::RegularFile file(utf8);
    WIN32TEST_CHECK(file.IsOpen());
    WIN32TEST_CHECK(file.Size() == 9);
    char bytes[16] = {};
    std::size_t got = 0;
    while (const std::size_t more = file.Read(bytes + got, sizeof bytes - got)) {
      got += more;
    }
    WIN32TEST_CHECK(got == 9);
    WIN32TEST_CHECK(std::string(bytes, got) == std::string("\x89PNG\0rest", 9));
  }
  ::DeleteFileW(wide.c_str());
}

WIN32TEST_CASE(pipe_device_folder_and_missing_file_are_refused) {
  const std::string name = "\\\\.\\pipe\\zorvane-image-" + std::to_string(::GetCurrentProcessId());
  const std::wstring wideName(name.begin(), name.end());
  // A pipe server that never reads: a client that opened it and read would wait.
  const HANDLE pipe = ::CreateNamedPipeW(wideName.c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 2, 4096, 4096, 0, nullptr);
  WIN32TEST_CHECK(pipe != INVALID_HANDLE_VALUE);
  WIN32TEST_CHECK(!platform::RegularFile(name).IsOpen());
  WIN32TEST_CHECK(!platform::RegularFile("NUL").IsOpen());
  WIN32TEST_CHECK(!platform::RegularFile(TempFolder()).IsOpen());
  WIN32TEST_CHECK(!platform::RegularFile(TempFolder() + "zorvane-missing.png").IsOpen());
  WIN32TEST_CHECK(!platform::RegularFile("").IsOpen());
  ::CloseHandle(pipe);
}
