// Finding a window by its title and handing it one WM_COPYDATA, waiting until
// it has been handled.
#include "platform/platform.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

namespace platform {

WindowHandle FindWindowByTitle(const std::string &title) {
  return ::FindWindowW(nullptr, win32::Widen(title).c_str());
}

WindowHandle FindDesktopWindow() { return ::FindWindowW(nullptr, L"ZORVANEDESKTOP"); }

std::intptr_t SendCopyData(WindowHandle target, WindowHandle from, const CopyData *data) {
  if (target == nullptr) {
    return 0;
  }
  COPYDATASTRUCT copy = {};
  if (data != nullptr) {
    copy.dwData = static_cast<ULONG_PTR>(data->kind);
    copy.cbData = data->size;
    copy.lpData = const_cast<void *>(data->data);
  }
  // A window that is gone answers 0, like one that refuses.
  return ::SendMessageW(static_cast<HWND>(target), WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                        data != nullptr ? reinterpret_cast<LPARAM>(&copy) : 0);
}

} // namespace platform
