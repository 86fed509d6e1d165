// A WM_COPYDATA handler that records what it was given, and the payload that
// the tests send: JSON text with its terminating NUL, as the desktop
// application sends it.
#pragma once

#include "platform/platform.h"
#include "test_harness.h"

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

inline void CheckPayloadRecord(const CopyDataRecord &record) {
  WIN32TEST_CHECK(record.hadData);
  WIN32TEST_CHECK(record.kind == kWideKind);
  WIN32TEST_CHECK(record.size == sizeof kPayload);
  WIN32TEST_CHECK(record.hadBytes);
  WIN32TEST_CHECK(record.bytes == std::string(kPayload, sizeof kPayload));
}

// The path of this test program, for starting a peer process.
inline std::wstring ThisProgram() {
  wchar_t program[MAX_PATH] = {};
  WIN32TEST_CHECK(::GetModuleFileNameW(nullptr, program, MAX_PATH) > 0);
  return program;
}

// A copy of this program started as a peer process.
struct Peer {
  HANDLE process = nullptr;
  DWORD id = 0;
};

// Starts this program as a peer that runs `testCase` with `argument`.
inline Peer StartPeer(const char *testCase, const std::wstring &argument) {
  const std::wstring program = ThisProgram();
  std::wstring commandLine = L"\"" + program + L"\" ";
  for (const char *c = testCase; *c != '\0'; ++c) {
    commandLine += static_cast<wchar_t>(*c);
  }
  commandLine += L" " + argument;

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION peer = {};
  WIN32TEST_CHECK(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &peer));
  ::CloseHandle(peer.hThread);
  return Peer{peer.hProcess, peer.dwProcessId};
}

// Waits for the peer to end and returns its exit code.
inline DWORD PeerExitCode(const Peer &peer) {
  ::WaitForSingleObject(peer.process, INFINITE);
  DWORD code = 0;
  WIN32TEST_CHECK(::GetExitCodeProcess(peer.process, &code));
  ::CloseHandle(peer.process);
  return code;
}

} // namespace win32test
