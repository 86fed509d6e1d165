// The notification window: how it is created, how it ends the message loop,
// and how WM_COPYDATA reaches the registered handler.
#include "copy_data_recorder.h"
#include "platform/platform.h"
#include "test_harness.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>

using namespace win32test;

namespace {

constexpr wchar_t kClassName[] = L"ZorvanePluginWndClass";

HWND CreateWindowOrFail(platform::WindowHandleCell &cell, platform::CopyDataHandler handler) {
  WIN32TEST_CHECK(platform::CreateNotificationWindow(cell, handler) == 0);
  const auto window = static_cast<HWND>(cell.handle.load());
  WIN32TEST_CHECK(window != nullptr);
  WIN32TEST_CHECK(::IsWindow(window));
  return window;
}

std::wstring WindowText(HWND window) {
  wchar_t text[64] = {};
  const int length = ::GetWindowTextW(window, text, 64);
  return std::wstring(text, static_cast<std::size_t>(length < 0 ? 0 : length));
}

// Records the WM_QUIT that GetMessageW hands to the message loop.
struct QuitRecord {
  int count = 0;
  WPARAM code = 0;
};
QuitRecord g_quit;

LRESULT CALLBACK RecordQuit(int code, WPARAM wParam, LPARAM lParam) {
  const auto *message = reinterpret_cast<const MSG *>(lParam);
  if (code == HC_ACTION && message->message == WM_QUIT) {
    ++g_quit.count;
    g_quit.code = message->wParam;
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

HHOOK WatchQuitMessages() {
  const HHOOK hook =
      ::SetWindowsHookExW(WH_GETMESSAGE, RecordQuit, nullptr, ::GetCurrentThreadId());
  WIN32TEST_CHECK(hook != nullptr);
  return hook;
}

} // namespace

WIN32TEST_CASE(creates_hidden_message_only_window) {
  platform::WindowHandleCell cell;
  const HWND window = CreateWindowOrFail(cell, nullptr);

  WIN32TEST_CHECK(!::IsWindowVisible(window));
  WIN32TEST_CHECK(::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId());
  WIN32TEST_CHECK(WindowText(window) == L"ZorvanePlugin");
  // Message-only: it sits among the windows whose parent is HWND_MESSAGE.
  WIN32TEST_CHECK(::FindWindowExW(HWND_MESSAGE, nullptr, kClassName, L"ZorvanePlugin") == window);

  const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
  WIN32TEST_CHECK((style & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW);
  WIN32TEST_CHECK((style & WS_VISIBLE) == 0);
  WIN32TEST_CHECK(reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)) ==
                  ::GetModuleHandleW(nullptr));

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  WIN32TEST_CHECK(::GetClassInfoExW(::GetModuleHandleW(nullptr), kClassName, &windowClass));
  WIN32TEST_CHECK(windowClass.style == (CS_HREDRAW | CS_VREDRAW));
  WIN32TEST_CHECK(windowClass.cbClsExtra == 0);
  WIN32TEST_CHECK(windowClass.cbWndExtra == 0);
  WIN32TEST_CHECK(windowClass.hIcon == nullptr);
  WIN32TEST_CHECK(windowClass.hCursor == nullptr);
  WIN32TEST_CHECK(windowClass.hbrBackground == ::GetStockObject(WHITE_BRUSH));
  WIN32TEST_CHECK(windowClass.lpszMenuName == nullptr);
  WIN32TEST_CHECK(reinterpret_cast<LONG_PTR>(windowClass.lpfnWndProc) ==
                  ::GetWindowLongPtrW(window, GWLP_WNDPROC));
}

WIN32TEST_CASE(second_creation_fails_at_class_registration) {
  platform::WindowHandleCell first;
  const HWND window = CreateWindowOrFail(first, nullptr);

  platform::WindowHandleCell second;
  WIN32TEST_CHECK(platform::CreateNotificationWindow(second, RecordCopyData) == -1);
  WIN32TEST_CHECK(second.handle.load() == nullptr);
  WIN32TEST_CHECK(first.handle.load() == window);
  WIN32TEST_CHECK(::IsWindow(window));
}

WIN32TEST_CASE(posted_close_ends_message_loop_with_quit_code_zero) {
  platform::WindowHandleCell cell;
  const HWND window = CreateWindowOrFail(cell, nullptr);
  const HHOOK hook = WatchQuitMessages();

  platform::PostCloseRequest(window);
  platform::RunMessageLoop();

  ::UnhookWindowsHookEx(hook);
  WIN32TEST_CHECK(!::IsWindow(window));
  WIN32TEST_CHECK(g_quit.count == 1);
  WIN32TEST_CHECK(g_quit.code == 0);
}

WIN32TEST_CASE(close_request_from_another_thread_ends_message_loop) {
  platform::WindowHandleCell cell;
  const HWND window = CreateWindowOrFail(cell, nullptr);
  const HHOOK hook = WatchQuitMessages();

  std::thread closer([&cell] {
    const auto handle = static_cast<HWND>(cell.handle.load());
    // A sent message returns only once the window's thread has handled it,
    // so the close request arrives while the loop is running.
    ::SendMessageW(handle, WM_NULL, 0, 0);
    platform::PostCloseRequest(handle);
  });
  platform::RunMessageLoop();
  closer.join();

  ::UnhookWindowsHookEx(hook);
  WIN32TEST_CHECK(!::IsWindow(window));
  WIN32TEST_CHECK(g_quit.count == 1);
  WIN32TEST_CHECK(g_quit.code == 0);
}

WIN32TEST_CASE(sent_close_destroys_window_and_posts_quit_code_zero) {
  platform::WindowHandleCell cell;
  const HWND window = CreateWindowOrFail(cell, nullptr);

  WIN32TEST_CHECK(::SendMessageW(window, WM_CLOSE, 0, 0) == 0);
  WIN32TEST_CHECK(!::IsWindow(window));

  MSG quit = {};
  WIN32TEST_CHECK(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  WIN32TEST_CHECK(quit.message == WM_QUIT);
  WIN32TEST_CHECK(quit.wParam == 0);
}

WIN32TEST_CASE(other_messages_get_default_handling) {
  platform::WindowHandleCell cell;
  const HWND window = CreateWindowOrFail(cell, RecordCopyData);

  const LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  WIN32TEST_CHECK(length == 13);
  WIN32TEST_CHECK(length == ::DefWindowProcW(window, WM_GETTEXTLENGTH, 0, 0));

  wchar_t text[32] = {};
  WIN32TEST_CHECK(::SendMessageW(window, WM_GETTEXT, 32, reinterpret_cast<LPARAM>(text)) == 13);
  WIN32TEST_CHECK(std::wstring(text) == L"ZorvanePlugin");

  WIN32TEST_CHECK(::SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"renamed")) ==
                  TRUE);
  WIN32TEST_CHECK(WindowText(window) == L"renamed");

  WIN32TEST_CHECK(g_copies.empty());
  WIN32TEST_CHECK(::IsWindow(window));
}

WIN32TEST_CASE(copy_data_reaches_handler_on_window_thread) {
  platform::WindowHandleCell cell;
  const HWND window = CreateWindowOrFail(cell, RecordCopyData);
  const auto sender = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x5a5a0));

  LRESULT withPayload = -1;
  LRESULT withoutStructure = -1;
  std::thread peer([&] {
    COPYDATASTRUCT copy = PayloadMessage();
    g_handlerResult = 1;
    withPayload = ::SendMessageW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                                 reinterpret_cast<LPARAM>(&copy));
    g_handlerResult = 7;
    withoutStructure = ::SendMessageW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(sender), 0);
    platform::PostCloseRequest(window);
  });
  platform::RunMessageLoop();
  peer.join();

  WIN32TEST_CHECK(withPayload == 1);
  WIN32TEST_CHECK(withoutStructure == 7);
  WIN32TEST_CHECK(g_copies.size() == 2);
  for (const auto &record : g_copies) {
    WIN32TEST_CHECK(record.sender == sender);
    WIN32TEST_CHECK(record.thread == ::GetCurrentThreadId());
  }
  CheckPayloadRecord(g_copies[0]);
  WIN32TEST_CHECK(!g_copies[1].hadData);
}

WIN32TEST_CASE(copy_data_without_text_reaches_handler) {
  platform::WindowHandleCell cell;
  const HWND window = CreateWindowOrFail(cell, RecordCopyData);

  COPYDATASTRUCT copy = {};
  copy.dwData = 0x160000;
  g_handlerResult = 1;
  WIN32TEST_CHECK(::SendMessageW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                                 reinterpret_cast<LPARAM>(&copy)) == 1);
  WIN32TEST_CHECK(g_copies.size() == 1);
  WIN32TEST_CHECK(g_copies[0].sender == window);
  WIN32TEST_CHECK(g_copies[0].hadData);
  WIN32TEST_CHECK(g_copies[0].kind == 0x160000);
  WIN32TEST_CHECK(g_copies[0].size == 0);
  WIN32TEST_CHECK(!g_copies[0].hadBytes);
}

WIN32TEST_CASE(copy_data_without_handler_is_refused) {
  platform::WindowHandleCell cell;
  const HWND window = CreateWindowOrFail(cell, nullptr);

  COPYDATASTRUCT copy = PayloadMessage();
  WIN32TEST_CHECK(::SendMessageW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                                 reinterpret_cast<LPARAM>(&copy)) == 0);
  WIN32TEST_CHECK(::IsWindow(window));
}

// Run with the notification window's handle (hexadecimal) as a second
// argument, this case is the peer: it sends the payload from a window of its
// own process and exits with the answer it got.
WIN32TEST_CASE(copy_data_crosses_processes) {
  if (argc == 3) {
    const auto target =
        reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(argv[2], nullptr, 16)));
    const HWND own = ::CreateWindowExW(0, L"STATIC", L"peer", 0, 0, 0, 0, 0, nullptr, nullptr,
                                       ::GetModuleHandleW(nullptr), nullptr);
    WIN32TEST_CHECK(own != nullptr);
    COPYDATASTRUCT copy = PayloadMessage();
    const LRESULT answer = ::SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(own),
                                          reinterpret_cast<LPARAM>(&copy));
    std::exit(static_cast<int>(answer));
  }

  platform::WindowHandleCell cell;
  const HWND window = CreateWindowOrFail(cell, RecordCopyData);
  g_handlerResult = 5;

  wchar_t handle[32] = {};
  std::swprintf(handle, 32, L"%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
  const Peer peer = StartPeer("copy_data_crosses_processes", handle);
  // Whatever the peer does, its end closes the window and so ends the loop.
  std::thread watcher([&peer, window] {
    ::WaitForSingleObject(peer.process, INFINITE);
    platform::PostCloseRequest(window);
  });
  platform::RunMessageLoop();
  watcher.join();

  WIN32TEST_CHECK(PeerExitCode(peer) == 5);
  WIN32TEST_CHECK(g_copies.size() == 1);
  WIN32TEST_CHECK(g_copies[0].senderProcess == peer.id);
  WIN32TEST_CHECK(g_copies[0].thread == ::GetCurrentThreadId());
  CheckPayloadRecord(g_copies[0]);
}
