// Windows of this process and the message loop: the notification window (a
// hidden, message-only window) and the titled windows that a search finds.
// Each keeps its own WM_COPYDATA handler in its user data, and the
// destruction of either ends its thread's message loop.
#include "platform/platform.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace platform {
namespace {

constexpr wchar_t kClassName[] = L"ZorvanePluginWndClass";
constexpr wchar_t kWindowTitle[] = L"ZorvanePlugin";
constexpr wchar_t kTitledClassName[] = L"ZorvaneTitledWndClass";

// Everything this platform layer keeps between calls, in one struct. The
// windows' handlers are not in it: each window keeps its own in its user data.
struct State {
  // The notification window while it exists: set by CreateNotificationWindow,
  // cleared when the window is destroyed, both on the window's thread.
  std::atomic<HWND> notificationWindow{nullptr};
};

State &TheState() {
  static State state;
  return state;
}

// The system's text for an error code, without the trailing line break.
std::string SystemErrorText(DWORD error) {
  char text[512] = {};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) {
    --length;
  }
  return std::string(text, length);
}

// The plug-in reports nothing: the diagnostic is composed, so that it can be
// read in a debugger, and then dropped.
void DropDiagnostic(const char *what) {
  const std::string diagnostic = std::string(what) + ": " + SystemErrorText(::GetLastError());
  static_cast<void>(diagnostic);
}

LRESULT HandleCopyData(CopyDataHandler handler, WPARAM wParam, LPARAM lParam) {
  if (handler == nullptr) {
    return 0;
  }
  const auto sender = reinterpret_cast<WindowHandle>(wParam);
  const auto *copy = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
  if (copy == nullptr) {
    return handler(sender, nullptr);
  }
  CopyData data;
  data.kind = copy->dwData;
  data.size = copy->cbData;
  data.data = copy->lpData;
  return handler(sender, &data);
}

// What both kinds of window do: keep the handler from the creation data in
// their user data, hand WM_COPYDATA to it, and end the loop when destroyed.
// Returns false for the messages that get the default handling.
bool HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result) {
  switch (message) {
  case WM_NCCREATE: {
    const auto *create = reinterpret_cast<const CREATESTRUCTW *>(lParam);
    const CopyDataHandler handler = *static_cast<const CopyDataHandler *>(create->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(handler));
    return false;
  }
  case WM_DESTROY:
    ::PostQuitMessage(0);
    result = 0;
    return true;
  case WM_COPYDATA:
    result = HandleCopyData(
        reinterpret_cast<CopyDataHandler>(::GetWindowLongPtrW(window, GWLP_USERDATA)), wParam,
        lParam);
    return true;
  default:
    // WM_CLOSE included: the default handling destroys the window.
    return false;
  }
}

LRESULT CALLBACK NotificationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCDESTROY) {
    HWND self = window;
    TheState().notificationWindow.compare_exchange_strong(self, nullptr);
  }
  LRESULT result = 0;
  return HandleWindowMessage(window, message, wParam, lParam, result)
             ? result
             : ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TitledWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  return HandleWindowMessage(window, message, wParam, lParam, result)
             ? result
             : ::DefWindowProcW(window, message, wParam, lParam);
}

// Registers the notification window's class. It stays registered after its
// window is gone, so it is registered afresh then; while the window exists,
// registration fails and so does the second window.
bool RegisterNotificationClass(const WNDCLASSEXW &windowClass) {
  if (::RegisterClassExW(&windowClass) != 0) {
    return true;
  }
  if (::GetLastError() != ERROR_CLASS_ALREADY_EXISTS ||
      TheState().notificationWindow.load() != nullptr) {
    return false;
  }
  return ::UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance) &&
         ::RegisterClassExW(&windowClass) != 0;
}

// A plain name: not empty, no '/', not starting with '.' (the same titles as on POSIX).
bool IsPlainTitle(const std::string &title) {
  return !title.empty() && title.find('/') == std::string::npos && title[0] != '.';
}

} // namespace

int CreateNotificationWindow(WindowHandleCell &cell, CopyDataHandler onCopyData) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = NotificationWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = nullptr;
  windowClass.hCursor = nullptr;
  windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = kClassName;
  windowClass.hIconSm = nullptr;
  if (!RegisterNotificationClass(windowClass)) {
    DropDiagnostic("Window class register error");
    return -1;
  }

  // HWND_MESSAGE as parent: never shown and found by no top-level window
  // search, so the handle itself is the reply address.
  const HWND window =
      ::CreateWindowExW(0, kClassName, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 800, 600, HWND_MESSAGE, nullptr, instance, &onCopyData);
  if (window == nullptr) {
    // The class stays registered; the next creation registers it afresh.
    DropDiagnostic("Window create error");
    return -1;
  }

  TheState().notificationWindow.store(window);
  cell.handle.store(window);
  return 0;
}

WindowHandle CreateTitledWindow(const std::string &title, CopyDataHandler onCopyData) {
  const std::wstring wideTitle = win32::Widen(title);
  if (!IsPlainTitle(title) || wideTitle.empty()) {
    return nullptr;
  }
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = TitledWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kTitledClassName;
  // Registered by the first titled window of the process.
  if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return nullptr;
  }

  // Top-level but never shown: a search by title finds hidden windows too.
  return ::CreateWindowExW(0, kTitledClassName, wideTitle.c_str(), WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT, CW_USEDEFAULT, 800, 600, nullptr, nullptr, instance,
                           &onCopyData);
}

void RunMessageLoop() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void PostCloseRequest(WindowHandle window) {
  // Fails only when the window is already gone, and then there is nothing to
  // close.
  ::PostMessageW(static_cast<HWND>(window), WM_CLOSE, 0, 0);
}

} // namespace platform
