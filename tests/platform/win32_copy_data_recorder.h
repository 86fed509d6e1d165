// A WM_COPYDATA handler that records what it was given, the payload that the
// tests send (JSON text with its terminating NUL, as the desktop application
// sends it), and a peer process for the messages between processes.
#pragma once

#include "platform/platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace win32test {

// What the handler saw of one WM_COPYDATA, copied while the data was valid.
struct CopyDataRecord {
  platform::WindowHandle sender = nullptr;
  DWORD senderProcess = 0;
  bool hadData = false;
  std::uint64_t kind = 0;
  std::uint32_t size = 0;
  bool hadBytes = false;
  std::string bytes;
  DWORD thread = 0;
};

// Written by the handlers on the window's thread; a sending thread reads them
// only after SendMessageW has returned, the test after the loop has ended.
inline std::vector<CopyDataRecord> g_copies;
inline std::intptr_t g_handlerResult = 0;

inline CopyDataRecord MakeRecord(platform::WindowHandle sender, const platform::CopyData *data) {
  CopyDataRecord record;
  record.sender = sender;
  ::GetWindowThreadProcessId(static_cast<HWND>(sender), &record.senderProcess);
  record.thread = ::GetCurrentThreadId();
  if (data != nullptr) {
    record.hadData = true;
    record.kind = data->kind;
    record.size = data->size;
    if (data->data != nullptr) {
      record.hadBytes = true;
      record.bytes.assign(static_cast<const char *>(data->data), data->size);
    }
  }
  return record;
}

// Records the message and answers g_handlerResult.
inline std::intptr_t RecordCopyData(platform::WindowHandle sender, const platform::CopyData *data) {
  g_copies.push_back(MakeRecord(sender, data));
  return g_handlerResult;
}

inline const char kPayload[] = "{\"isBroadcasting\":true}";
// Wider than 32 bits, so that nothing on the way may cut dwData short.
inline constexpr std::uint64_t kWideKind = 0x0000000500160002ULL;

inline COPYDATASTRUCT PayloadMessage() {
  COPYDATASTRUCT copy = {};
  copy.dwData = static_cast<ULONG_PTR>(kWideKind);
  copy.cbData = sizeof kPayload;
  copy.lpData = const_cast<char *>(kPayload);
  return copy;
}

inline platform::CopyData Payload() {
  platform::CopyData data;
  data.kind = kWideKind;
  data.size = sizeof kPayload;
  data.data = kPayload;
  return data;
}

inline void ExpectPayloadRecord(const CopyDataRecord &record) {
  EXPECT_TRUE(record.hadData);
  EXPECT_EQ(record.kind, kWideKind);
  EXPECT_EQ(record.size, sizeof kPayload);
  EXPECT_TRUE(record.hadBytes);
  EXPECT_EQ(record.bytes, std::string(kPayload, sizeof kPayload));
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
