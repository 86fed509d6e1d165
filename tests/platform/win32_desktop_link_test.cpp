// Titled windows, the search by title and SendCopyData: what the Windows side
// of the link does beyond the platform contract (a real hidden top-level
// window; messages between processes). The contract itself is tested in
// platform_contract_test.cpp.
#include "platform/platform.h"
#include "win32_copy_data_recorder.h"

#include <gtest/gtest.h>
#include <windows.h>

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

using TitledWindow = CopyDataTest;

TEST_F(TitledWindow, IsFoundByItsTitle) {
  const std::string title = UniqueTitle("found");
  const auto window = static_cast<HWND>(platform::CreateTitledWindow(title, RecordCopyData));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(::IsWindow(window));
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(::GetAncestor(window, GA_PARENT), ::GetDesktopWindow());
  wchar_t text[64] = {};
  EXPECT_GT(::GetWindowTextW(window, text, 64), 0);
  EXPECT_EQ(std::wstring(text), Wide(title));

  EXPECT_EQ(platform::FindWindowByTitle(title), window);
  EXPECT_EQ(platform::FindWindowByTitle(UniqueTitle("absent")), nullptr);
  EXPECT_EQ(platform::CreateTitledWindow("", RecordCopyData), nullptr);
}

// Its peer (this program started again for this case, with the window's title)
// finds that window, sends it the payload and then a message without text
// from its own notification window, and checks both answers. (A message
// without data structure is left out: Wine cannot carry one to another
// process.)
TEST_F(TitledWindow, SendCopyDataCrossesProcesses) {
  const std::wstring peerArgument = PeerArgument();
  if (!peerArgument.empty()) {
    const platform::WindowHandle target =
        platform::FindWindowByTitle(std::string(peerArgument.begin(), peerArgument.end()));
    ASSERT_NE(target, nullptr);
    platform::WindowHandleCell own;
    ASSERT_EQ(platform::CreateNotificationWindow(own, nullptr), 0);
    const platform::CopyData payload = Payload();
    EXPECT_EQ(platform::SendCopyData(target, own.handle.load(), &payload), 3);
    platform::CopyData withoutText;
    withoutText.kind = 0x160000;
    EXPECT_EQ(platform::SendCopyData(target, own.handle.load(), &withoutText), 4);
    return;
  }

  const std::string title = UniqueTitle("target");
  const platform::WindowHandle window = platform::CreateTitledWindow(title, RecordByShape);
  ASSERT_NE(window, nullptr);

  const Peer peer = StartPeer(Wide(title));
  ASSERT_NE(peer.process, nullptr);
  // Whatever the peer does, its end closes the window and so ends the loop.
  std::thread watcher([&peer, window] {
    ::WaitForSingleObject(peer.process, INFINITE);
    platform::PostCloseRequest(window);
  });
  platform::RunMessageLoop();
  watcher.join();

  EXPECT_EQ(PeerExitCode(peer), 0u);
  EXPECT_FALSE(::IsWindow(static_cast<HWND>(window)));
  ASSERT_EQ(g_copies.size(), 2u);
  for (const auto &record : g_copies) {
    EXPECT_EQ(record.senderProcess, peer.id);
    EXPECT_EQ(record.thread, ::GetCurrentThreadId());
  }
  EXPECT_EQ(g_copies[0].sender, g_copies[1].sender);
  ExpectPayload(g_copies[0]);
  EXPECT_TRUE(g_copies[1].hasStructure);
  EXPECT_EQ(g_copies[1].kind, 0x160000u);
  EXPECT_EQ(g_copies[1].size, 0u);
  EXPECT_FALSE(g_copies[1].hasBytes);
}

} // namespace
