#include "platform/platform.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace platform {
namespace {

std::wstring WidenUtf8(const std::string &text) {
  const int size = static_cast<int>(text.size());
  const int length =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) {
    return std::wstring();
  }
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
  return wide;
}

} // namespace

RegularFile::RegularFile(const std::string &utf8Path) {
  const std::wstring path = WidenUtf8(utf8Path);
  if (path.empty()) {
    return;
  }
  // A folder does not open without backup semantics; a pipe or a device
  // opens at once or not at all, and is then refused by its type.
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  LARGE_INTEGER size;
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size) || size.QuadPart < 0) {
    ::CloseHandle(file);
    return;
  }
  mHandle = reinterpret_cast<std::intptr_t>(file);
  mOpen = true;
  mSize = static_cast<std::uint64_t>(size.QuadPart);
}

RegularFile::~RegularFile() {
  if (mOpen) {
    ::CloseHandle(reinterpret_cast<HANDLE>(mHandle));
  }
}

std::size_t RegularFile::Read(void *buffer, std::size_t size) {
  if (!mOpen) {
    return 0;
  }
  // ReadFile counts in 32 bits.
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  DWORD got = 0;
  if (!::ReadFile(reinterpret_cast<HANDLE>(mHandle), buffer, wanted, &got, nullptr)) {
    return 0;
  }
  return got;
}

} // namespace platform
