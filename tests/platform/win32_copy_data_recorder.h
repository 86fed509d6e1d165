// A WM_COPYDATA handler that records what it was given, the payload as a
// COPYDATASTRUCT, and a peer process for the messages between processes.
#pragma once

#include "platform/platform.h"
#include "support/copy_data_record.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace win32test {

// What the handler saw of one WM_COPYDATA, with the sending window's process
// and the thread that handled it.
struct CopyDataRecord : CopyRecord {
  DWORD senderProcess = 0;
  DWORD thread = 0;
};

// Written by the handlers on the window's thread; a sending thread reads them
// only after SendMessageW has returned, the test after the loop has ended.
inline std::vector<CopyDataRecord> g_copies;
inline std::intptr_t g_handlerResult = 0;

inline CopyDataRecord MakeRecord(platform::WindowHandle sender, const platform::CopyData *data) {
  CopyDataRecord record{RecordCopy(sender, data), 0, ::GetCurrentThreadId()};
  ::GetWindowThreadProcessId(static_cast<HWND>(sender), &record.senderProcess);
  return record;
}

// Records the message and answers g_handlerResult.
inline std::intptr_t RecordCopyData(platform::WindowHandle sender, const platform::CopyData *data) {
  g_copies.push_back(MakeRecord(sender, data));
  return g_handlerResult;
}

inline COPYDATASTRUCT PayloadMessage() {
  COPYDATASTRUCT copy = {};
  copy.dwData = static_cast<ULONG_PTR>(kWideKind);
  copy.cbData = sizeof kPayload;
  copy.lpData = const_cast<char *>(kPayload);
  return copy;
}

// Every case starts with no record and the handler's answer 0, and leaves
// no message in the queue (a WM_QUIT would end the next case's loop at once)
// should the next case run in the same process.
class CopyDataTest : public ::testing::Test {
protected:
  void SetUp() override {
    g_copies.clear();
    g_handlerResult = 0;
  }
  void TearDown() override {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
};

// The path of this test program, for starting a peer process.
inline std::wstring ThisProgram() {
  wchar_t program[MAX_PATH] = {};
  EXPECT_GT(::GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
  return program;
}

// A case that talks to another process starts this program again to run
// the same case as its peer, with the peer's argument in this variable.
inline const wchar_t kPeerVariable[] = L"ZORVANE_TEST_PEER";

// The argument of this process when it runs a case as a peer, else empty.
inline std::wstring PeerArgument() {
  wchar_t argument[256] = {};
  const DWORD length = ::GetEnvironmentVariableW(kPeerVariable, argument, 256);
  return length > 0 && length < 256 ? std::wstring(argument, length) : std::wstring();
}

// A copy of this program started as a peer process.
struct Peer {
  HANDLE process = nullptr;
  DWORD id = 0;
};

// Starts this program as a peer that runs the current case with `argument`;
// its process handle is null if it could not start.
inline Peer StartPeer(const std::wstring &argument) {
  const ::testing::TestInfo *current = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter =
      std::string("--gtest_filter=") + current->test_suite_name() + "." + current->name();
  const std::wstring program = ThisProgram();
  std::wstring commandLine = L"\"" + program + L"\" " + std::wstring(filter.begin(), filter.end());

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION peer = {};
  // The peer inherits the environment as it is at its start.
  ::SetEnvironmentVariableW(kPeerVariable, argument.c_str());
  const BOOL started = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr,
                                        FALSE, 0, nullptr, nullptr, &startup, &peer);
  ::SetEnvironmentVariableW(kPeerVariable, nullptr);
  EXPECT_TRUE(started);
  if (!started) {
    return Peer{};
  }
  ::CloseHandle(peer.hThread);
  return Peer{peer.hProcess, peer.dwProcessId};
}

// Waits for the peer to end and returns its exit code.
inline DWORD PeerExitCode(const Peer &peer) {
  ::WaitForSingleObject(peer.process, INFINITE);
  DWORD code = 0;
  EXPECT_TRUE(::GetExitCodeProcess(peer.process, &code));
  ::CloseHandle(peer.process);
  return code;
}

} // namespace win32test
