// Windows of this process and the message loop: the notification window (a
// hidden, message-only window) and the titled windows that a search finds.
// Each hands WM_COPYDATA to its handler, and the destruction of either ends
// its thread's message loop.
#include "platform/platform.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <string>

namespace platform {
namespace {

constexpr wchar_t kClassName[] = L"ZorvanePluginWndClass";
constexpr wchar_t kWindowTitle[] = L"ZorvanePlugin";
constexpr wchar_t kTitledClassName[] = L"ZorvaneTitledWndClass";

// Set by CreateNotificationWindow before the window exists and read only by
// the window procedure; both run on the thread that owns the window.
CopyDataHandler g_copyDataHandler = nullptr;

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

LRESULT CALLBACK NotificationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_DESTROY:
    ::PostQuitMessage(0);
    return 0;
  case WM_COPYDATA:
    return HandleCopyData(g_copyDataHandler, wParam, lParam);
  default:
    // WM_CLOSE included: the default handling destroys the window.
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

// A titled window keeps its own handler in its user data, taken from the
// creation data while the window is being created.
LRESULT CALLBACK TitledWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_NCCREATE: {
    const auto *create = reinterpret_cast<const CREATESTRUCTW *>(lParam);
    const CopyDataHandler handler = *static_cast<const CopyDataHandler *>(create->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(handler));
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  case WM_DESTROY:
    ::PostQuitMessage(0);
    return 0;
  case WM_COPYDATA:
    return HandleCopyData(
        reinterpret_cast<CopyDataHandler>(::GetWindowLongPtrW(window, GWLP_USERDATA)), wParam,
        lParam);
  default:
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
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
  if (::RegisterClassExW(&windowClass) == 0) {
    DropDiagnostic("Window class register error");
    return -1;
  }

  g_copyDataHandler = onCopyData;

  // HWND_MESSAGE as parent: never shown and found by no top-level window
  // search, so the handle itself is the reply address.
  const HWND window =
      ::CreateWindowExW(0, kClassName, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 800, 600, HWND_MESSAGE, nullptr, instance, nullptr);
  if (window == nullptr) {
    // The class stays registered.
    DropDiagnostic("Window create error");
    return -1;
  }

  cell.handle.store(window);
  return 0;
}

WindowHandle CreateTitledWindow(const std::string &title, CopyDataHandler onCopyData) {
  const std::wstring wideTitle = win32::Widen(title);
  if (wideTitle.empty()) {
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
