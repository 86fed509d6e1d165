// Titled windows, the search by title and SendCopyData: what the Windows side
// of the link does beyond the platform contract (a real hidden top-level
// window; messages between processes). The contract itself is tested in
// tests/platform/platform_contract_test.cpp.
#include "copy_data_recorder.h"
#include "platform/platform.h"
#include "test_harness.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace win32test;

namespace {

// Titles of this process only, so that parallel test processes never meet.
std::string UniqueTitle(const char *what) {
  return "zorvane-test-" + std::to_string(::GetCurrentProcessId()) + "-" + what;
}

std::wstring Wide(const std::string &text) { return std::wstring(text.begin(), text.end()); }

// Answers 3 for a message with bytes and 4 for one without.
std::intptr_t RecordByShape(platform::WindowHandle sender, const platform::CopyData *data) {
  g_copies.push_back(MakeRecord(sender, data));
  return data != nullptr && data->data != nullptr ? 3 : 4;
}

} // namespace

WIN32TEST_CASE(titled_window_is_found_by_its_title) {
  const std::string title = UniqueTitle("found");
  const auto window = static_cast<HWND>(platform::CreateTitledWindow(title, RecordCopyData));
  WIN32TEST_CHECK(window != nullptr);
  WIN32TEST_CHECK(::IsWindow(window));
  WIN32TEST_CHECK(!::IsWindowVisible(window));
  WIN32TEST_CHECK(::GetAncestor(window, GA_PARENT) == ::GetDesktopWindow());
  wchar_t text[64] = {};
  WIN32TEST_CHECK(::GetWindowTextW(window, text, 64) > 0);
  WIN32TEST_CHECK(std::wstring(text) == Wide(title));

  WIN32TEST_CHECK(platform::FindWindowByTitle(title) == window);
  WIN32TEST_CHECK(platform::FindWindowByTitle(UniqueTitle("absent")) == nullptr);
  WIN32TEST_CHECK(platform::CreateTitledWindow("", RecordCopyData) == nullptr);
}

// Run with a window title as a second argument, this case is the peer: it
// finds that window, sends it the payload and then a message without text
// from its own notification window, and checks both answers. (A message
// without data structure is left out: Wine cannot carry one to another
// process.)
WIN32TEST_CASE(send_copy_data_crosses_processes_to_titled_window) {
  if (argc == 3) {
    const platform::WindowHandle target = platform::FindWindowByTitle(argv[2]);
    WIN32TEST_CHECK(target != nullptr);
    platform::WindowHandleCell own;
    WIN32TEST_CHECK(platform::CreateNotificationWindow(own, nullptr) == 0);
    const platform::CopyData payload = Payload();
    WIN32TEST_CHECK(platform::SendCopyData(target, own.handle.load(), &payload) == 3);
    platform::CopyData withoutText;
    withoutText.kind = 0x160000;
    WIN32TEST_CHECK(platform::SendCopyData(target, own.handle.load(), &withoutText) == 4);
    std::exit(0);
  }

  const std::string title = UniqueTitle("target");
  const platform::WindowHandle window = platform::CreateTitledWindow(title, RecordByShape);
  WIN32TEST_CHECK(window != nullptr);

  const Peer peer = StartPeer("send_copy_data_crosses_processes_to_titled_window", Wide(title));
  // Whatever the peer does, its end closes the window and so ends the loop.
  std::thread watcher([&peer, window] {
    ::WaitForSingleObject(peer.process, INFINITE);
    platform::PostCloseRequest(window);
  });
  platform::RunMessageLoop();
  watcher.join();

  WIN32TEST_CHECK(PeerExitCode(peer) == 0);
  WIN32TEST_CHECK(!::IsWindow(static_cast<HWND>(window)));
  WIN32TEST_CHECK(g_copies.size() == 2);
  for (const auto &record : g_copies) {
    WIN32TEST_CHECK(record.senderProcess == peer.id);
    WIN32TEST_CHECK(record.thread == ::GetCurrentThreadId());
  }
  WIN32TEST_CHECK(g_copies[0].sender == g_copies[1].sender);
  CheckPayloadRecord(g_copies[0]);
  WIN32TEST_CHECK(g_copies[1].hadData);
  WIN32TEST_CHECK(g_copies[1].kind == 0x160000);
  WIN32TEST_CHECK(g_copies[1].size == 0);
  WIN32TEST_CHECK(!g_copies[1].hadBytes);
}
