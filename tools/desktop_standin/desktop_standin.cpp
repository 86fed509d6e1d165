// A stand-in for the Zorvane desktop application, for tests and for the
// desktop application's own developers: it owns the "ZORVANEDESKTOP" window,
// prints one JSON line for every message it receives, and sends notifications
// on request. Built natively and for Windows from this one source.
//
// Commands, one per line on standard input:
//   notify <kind> <data> <sender> [payload]
//       Sends a notification to the window that sent the last command.
//       <kind>   decimal or 0x-prefixed hexadecimal kind code
//       <data>   nul: payload with its terminating NUL counted (the normal form)
//                nonul: payload without the NUL; empty: zero bytes;
//                null: no data pointer; none: no data structure at all
//       <sender> self: the desktop window; other: a second window of ours;
//                none: no sender; or a raw 0x-prefixed handle to claim
//   target <handle>  sends later notifications to this 0x-prefixed handle
//   vanish        closes the desktop window (lookups find nothing)
//   appear        opens it again
//   quit          closes everything and exits (also at the end of input)
//
// With --title NAME the window takes another title than "ZORVANEDESKTOP", so
// that a second stand-in can play a process that only claims to be the desktop
// application.
//
// Output, one JSON object per line: {"event":"ready","handle":...},
// {"event":"command","kind":...,"cbData":...,"data":...,"bytes":...,"sender":...},
// {"event":"notified","result":...}, {"event":"vanished"}, {"event":"error","reason":...}.
#include "platform/platform.h"
#include "tools/support/window_thread.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

namespace {

std::mutex gMutex; // guards gLastSender and the output
platform::WindowHandle gLastSender = nullptr;

std::string HandleText(platform::WindowHandle handle) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
  return text;
}

std::string HexBytes(const void *data, std::uint32_t size) {
  static const char kDigits[] = "0123456789abcdef";
  const auto *bytes = static_cast<const unsigned char *>(data);
  std::string text;
  for (std::uint32_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

void Print(const std::string &line) {
  const std::lock_guard<std::mutex> lock(gMutex);
  std::cout << line << std::endl;
}

std::intptr_t OnCommand(platform::WindowHandle sender, const platform::CopyData *data) {
  std::ostringstream line;
  line << R"({"event":"command","sender":")" << HandleText(sender) << '"';
  if (data == nullptr) {
    line << R"(,"data":"none"})";
  } else {
    line << R"(,"kind":)" << data->kind << R"(,"cbData":)" << data->size << R"(,"data":")"
         << (data->data == nullptr ? "null" : "present") << R"(","bytes":")"
         << (data->data == nullptr ? "" : HexBytes(data->data, data->size)) << R"("})";
  }
  {
    const std::lock_guard<std::mutex> lock(gMutex);
    gLastSender = sender;
  }
  Print(line.str());
  return 1;
}

bool ParseNumber(const std::string &text, std::uint64_t &value) {
  if (text.empty()) {
    return false;
  }
  char *end = nullptr;
  value = std::strtoull(text.c_str(), &end, 0);
  return *end == '\0';
}

class StandIn {
public:
  explicit StandIn(std::string title) : mTitle(std::move(title)) {}

  bool Appear() {
    const platform::WindowHandle handle = Open(mDesktop, mTitle);
    if (handle == nullptr) {
      Print(R"({"event":"error","reason":"cannot create the window"})");
      return false;
    }
    Print(R"({"event":"ready","handle":")" + HandleText(handle) + R"("})");
    return true;
  }

  void Vanish() {
    mDesktop.reset();
    Print(R"({"event":"vanished"})");
  }

  void Notify(std::istringstream &arguments) {
    std::string kindText, dataMode, senderMode, payload;
    arguments >> kindText >> dataMode >> senderMode;
    std::getline(arguments >> std::ws, payload);
    std::uint64_t kind = 0;
    platform::WindowHandle sender = nullptr;
    if (!ParseNumber(kindText, kind) || !ChooseSender(senderMode, sender)) {
      Print(R"({"event":"error","reason":"usage: notify <kind> <data> <sender> [payload]"})");
      return;
    }
    platform::CopyData data;
    data.kind = kind;
    const platform::CopyData *structure = &data;
    if (dataMode == "nul") {
      data.size = static_cast<std::uint32_t>(payload.size() + 1);
      data.data = payload.c_str();
    } else if (dataMode == "nonul") {
      data.size = static_cast<std::uint32_t>(payload.size());
      data.data = payload.c_str();
    } else if (dataMode == "empty") {
      data.data = payload.c_str();
    } else if (dataMode == "none") {
      structure = nullptr;
    } else if (dataMode != "null") {
      Print(R"({"event":"error","reason":"data is one of nul, nonul, empty, null, none"})");
      return;
    }
    const std::intptr_t result = platform::SendCopyData(LastSender(), sender, structure);
    Print(R"({"event":"notified","result":)" + std::to_string(result) + "}");
  }

  void Target(std::istringstream &arguments) {
    std::string handleText;
    arguments >> handleText;
    std::uint64_t handle = 0;
    if (!ParseNumber(handleText, handle)) {
      Print(R"({"event":"error","reason":"usage: target <handle>"})");
      return;
    }
    const std::lock_guard<std::mutex> lock(gMutex);
    gLastSender = reinterpret_cast<platform::WindowHandle>(static_cast<std::uintptr_t>(handle));
  }

private:
  // The window, opened on a thread of its own unless it is open already.
  static platform::WindowHandle Open(std::optional<WindowThread> &window,
                                     const std::string &title) {
    if (!window || window->Handle() == nullptr) {
      window.emplace(title, OnCommand);
    }
    return window->Handle();
  }

  bool ChooseSender(const std::string &mode, platform::WindowHandle &sender) {
    std::uint64_t claimed = 0;
    if (mode == "self") {
      sender = mDesktop ? mDesktop->Handle() : nullptr;
    } else if (mode == "other") {
      sender = Open(mOther, "ZORVANEOTHER");
    } else if (mode == "none") {
      sender = nullptr;
    } else if (mode.compare(0, 2, "0x") == 0 && ParseNumber(mode, claimed)) {
      sender = reinterpret_cast<platform::WindowHandle>(static_cast<std::uintptr_t>(claimed));
    } else {
      return false;
    }
    return true;
  }

  static platform::WindowHandle LastSender() {
    const std::lock_guard<std::mutex> lock(gMutex);
    return gLastSender;
  }

  const std::string mTitle;
  std::optional<WindowThread> mDesktop;
  std::optional<WindowThread> mOther;
};

} // namespace

int main(int argc, char *argv[]) {
  const std::string title =
      argc == 3 && std::string(argv[1]) == "--title" ? argv[2] : "ZORVANEDESKTOP";
  StandIn standIn(title);
  if (!standIn.Appear()) {
    return 1;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream arguments(line);
    std::string command;
    arguments >> command;
    if (command == "notify") {
      standIn.Notify(arguments);
    } else if (command == "target") {
      standIn.Target(arguments);
    } else if (command == "vanish") {
      standIn.Vanish();
    } else if (command == "appear") {
      standIn.Appear();
    } else if (command == "quit") {
      break;
    } else if (!command.empty()) {
      Print(R"({"event":"error","reason":"unknown command"})");
    }
  }
  return 0;
}
