// The notification window: how it is created, how it ends the message loop,
// and how WM_COPYDATA reaches the registered handler.
#include "platform/platform.h"
#include "win32_copy_data_recorder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>

using namespace win32test;

namespace {

constexpr wchar_t kClassName[] = L"ZorvanePluginWndClass";

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

// Message-only windows of every process are searched, so another test
// process's notification window may come first.
bool IsMessageOnlyWindowOfTheClass(HWND window) {
  HWND found = nullptr;
  while ((found = ::FindWindowExW(HWND_MESSAGE, found, kClassName, L"ZorvanePlugin")) != nullptr) {
    if (found == window) {
      return true;
    }
  }
  return false;
}

HHOOK WatchQuitMessages() {
  return ::SetWindowsHookExW(WH_GETMESSAGE, RecordQuit, nullptr, ::GetCurrentThreadId());
}

// Each case makes the notification window in `cell`, and leaves it behind
// for no later case in the same process.
class NotificationWindow : public CopyDataTest {
protected:
  void SetUp() override {
    CopyDataTest::SetUp();
    g_quit = QuitRecord();
  }
  void TearDown() override {
    if (window != nullptr && ::IsWindow(window)) {
      ::DestroyWindow(window);
    }
    CopyDataTest::TearDown();
  }
  // Use as ASSERT_NO_FATAL_FAILURE(MakeWindow(...)): a failure ends the case.
  void MakeWindow(platform::CopyDataHandler handler) {
    ASSERT_EQ(platform::CreateNotificationWindow(cell, handler), 0);
    window = static_cast<HWND>(cell.handle.load());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(::IsWindow(window));
  }

  platform::WindowHandleCell cell;
  HWND window = nullptr;
};

TEST_F(NotificationWindow, CreatesHiddenMessageOnlyWindow) {
  ASSERT_NO_FATAL_FAILURE(MakeWindow(nullptr));

  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(::GetWindowThreadProcessId(window, nullptr), ::GetCurrentThreadId());
  EXPECT_EQ(WindowText(window), L"ZorvanePlugin");
  // Message-only: it sits among the windows whose parent is HWND_MESSAGE.
  EXPECT_TRUE(IsMessageOnlyWindowOfTheClass(window));

  const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
  EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
  EXPECT_EQ(style & WS_VISIBLE, 0u);
  EXPECT_EQ(reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)),
            ::GetModuleHandleW(nullptr));

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  ASSERT_TRUE(::GetClassInfoExW(::GetModuleHandleW(nullptr), kClassName, &windowClass));
  EXPECT_EQ(windowClass.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
  EXPECT_EQ(windowClass.cbClsExtra, 0);
  EXPECT_EQ(windowClass.cbWndExtra, 0);
  EXPECT_EQ(windowClass.hIcon, nullptr);
  EXPECT_EQ(windowClass.hCursor, nullptr);
  EXPECT_EQ(windowClass.hbrBackground, ::GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(windowClass.lpszMenuName, nullptr);
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(windowClass.lpfnWndProc),
            ::GetWindowLongPtrW(window, GWLP_WNDPROC));
}

TEST_F(NotificationWindow, SecondCreationFailsAtClassRegistration) {
  ASSERT_NO_FATAL_FAILURE(MakeWindow(nullptr));

  platform::WindowHandleCell second;
  EXPECT_EQ(platform::CreateNotificationWindow(second, RecordCopyData), -1);
  EXPECT_EQ(second.handle.load(), nullptr);
  EXPECT_EQ(cell.handle.load(), window);
  EXPECT_TRUE(::IsWindow(window));
}

TEST_F(NotificationWindow, PostedCloseEndsMessageLoopWithQuitCodeZero) {
  ASSERT_NO_FATAL_FAILURE(MakeWindow(nullptr));
  const HHOOK hook = WatchQuitMessages();
  ASSERT_NE(hook, nullptr);

  platform::PostCloseRequest(window);
  platform::RunMessageLoop();

  ::UnhookWindowsHookEx(hook);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(g_quit.count, 1);
  EXPECT_EQ(g_quit.code, 0u);
}

TEST_F(NotificationWindow, CloseRequestFromAnotherThreadEndsMessageLoop) {
  ASSERT_NO_FATAL_FAILURE(MakeWindow(nullptr));
  const HHOOK hook = WatchQuitMessages();
  ASSERT_NE(hook, nullptr);

  std::thread closer([this] {
    const auto handle = static_cast<HWND>(cell.handle.load());
    // A sent message returns only once the window's thread has handled it,
    // so the close request arrives while the loop is running.
    ::SendMessageW(handle, WM_NULL, 0, 0);
    platform::PostCloseRequest(handle);
  });
  platform::RunMessageLoop();
  closer.join();

  ::UnhookWindowsHookEx(hook);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(g_quit.count, 1);
  EXPECT_EQ(g_quit.code, 0u);
}

TEST_F(NotificationWindow, SentCloseDestroysWindowAndPostsQuitCodeZero) {
  ASSERT_NO_FATAL_FAILURE(MakeWindow(nullptr));

  EXPECT_EQ(::SendMessageW(window, WM_CLOSE, 0, 0), 0);
  EXPECT_FALSE(::IsWindow(window));

  MSG quit = {};
  ASSERT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(quit.wParam, 0u);
}

TEST_F(NotificationWindow, OtherMessagesGetDefaultHandling) {
  ASSERT_NO_FATAL_FAILURE(MakeWindow(RecordCopyData));

  const LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  EXPECT_EQ(length, 13);
  EXPECT_EQ(length, ::DefWindowProcW(window, WM_GETTEXTLENGTH, 0, 0));

  wchar_t text[32] = {};
  EXPECT_EQ(::SendMessageW(window, WM_GETTEXT, 32, reinterpret_cast<LPARAM>(text)), 13);
  EXPECT_EQ(std::wstring(text), L"ZorvanePlugin");

  EXPECT_EQ(::SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"renamed")), TRUE);
  EXPECT_EQ(WindowText(window), L"renamed");

  EXPECT_TRUE(g_copies.empty());
  EXPECT_TRUE(::IsWindow(window));
}

TEST_F(NotificationWindow, CopyDataReachesHandlerOnWindowThread) {
  ASSERT_NO_FATAL_FAILURE(MakeWindow(RecordCopyData));
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

  EXPECT_EQ(withPayload, 1);
  EXPECT_EQ(withoutStructure, 7);
  ASSERT_EQ(g_copies.size(), 2u);
  for (const auto &record : g_copies) {
    EXPECT_EQ(record.sender, sender);
    EXPECT_EQ(record.thread, ::GetCurrentThreadId());
  }
  ExpectPayload(g_copies[0]);
  EXPECT_FALSE(g_copies[1].hasStructure);
}

TEST_F(NotificationWindow, CopyDataWithoutTextReachesHandler) {
  ASSERT_NO_FATAL_FAILURE(MakeWindow(RecordCopyData));

  COPYDATASTRUCT copy = {};
  copy.dwData = 0x160000;
  g_handlerResult = 1;
  EXPECT_EQ(::SendMessageW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                           reinterpret_cast<LPARAM>(&copy)),
            1);
  ASSERT_EQ(g_copies.size(), 1u);
  EXPECT_EQ(g_copies[0].sender, window);
  EXPECT_TRUE(g_copies[0].hasStructure);
  EXPECT_EQ(g_copies[0].kind, 0x160000u);
  EXPECT_EQ(g_copies[0].size, 0u);
  EXPECT_FALSE(g_copies[0].hasBytes);
}

TEST_F(NotificationWindow, CopyDataWithoutHandlerIsRefused) {
  ASSERT_NO_FATAL_FAILURE(MakeWindow(nullptr));

  COPYDATASTRUCT copy = PayloadMessage();
  EXPECT_EQ(::SendMessageW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                           reinterpret_cast<LPARAM>(&copy)),
            0);
  EXPECT_TRUE(::IsWindow(window));
}

// Its peer (this program started again for this case, with the notification
// window's handle in hexadecimal) sends the payload from a window of its own
// process and exits with the answer it got.
TEST_F(NotificationWindow, CopyDataCrossesProcesses) {
  const std::wstring peerArgument = PeerArgument();
  if (!peerArgument.empty()) {
    const auto target = reinterpret_cast<HWND>(
        static_cast<std::uintptr_t>(std::wcstoull(peerArgument.c_str(), nullptr, 16)));
    const HWND own = ::CreateWindowExW(0, L"STATIC", L"peer", 0, 0, 0, 0, 0, nullptr, nullptr,
                                       ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(own, nullptr);
    COPYDATASTRUCT copy = PayloadMessage();
    const LRESULT answer = ::SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(own),
                                          reinterpret_cast<LPARAM>(&copy));
    std::exit(static_cast<int>(answer));
  }

  ASSERT_NO_FATAL_FAILURE(MakeWindow(RecordCopyData));
  g_handlerResult = 5;

  wchar_t handle[32] = {};
  std::swprintf(handle, 32, L"%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
  const Peer peer = StartPeer(handle);
  ASSERT_NE(peer.process, nullptr);
  // Whatever the peer does, its end closes the window and so ends the loop.
  std::thread watcher([&peer, this] {
    ::WaitForSingleObject(peer.process, INFINITE);
    platform::PostCloseRequest(window);
  });
  platform::RunMessageLoop();
  watcher.join();

  EXPECT_EQ(PeerExitCode(peer), 5u);
  ASSERT_EQ(g_copies.size(), 1u);
  EXPECT_EQ(g_copies[0].senderProcess, peer.id);
  EXPECT_EQ(g_copies[0].thread, ::GetCurrentThreadId());
  ExpectPayload(g_copies[0]);
}

} // namespace
