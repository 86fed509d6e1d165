// One key press on the POSIX desktop link as the command sender makes it: the
// lookup of the desktop window by its title, then one command to it, answered
// by a window on a thread of its own. The CPU time is the sender's.
#include "platform/platform.h"
#include "tools/support/window_thread.h"

#include <benchmark/benchmark.h>

#include <string>
#include <unistd.h>

namespace {

std::intptr_t Accept(platform::WindowHandle, const platform::CopyData *) { return 1; }

void BM_KeyPressOverTheLink(benchmark::State &state) {
  const std::string title = "zorvane-bench-" + std::to_string(::getpid());
  const WindowThread desktop(title, Accept);
  platform::CopyData command;
  command.kind = 0x80000; // the broadcast command, without data
  for (auto _ : state) {
    const platform::WindowHandle found = platform::FindWindowByTitle(title);
    if (platform::SendCopyData(found, nullptr, &command) != 1) {
      state.SkipWithError("the window did not take the command");
      break;
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

BENCHMARK(BM_KeyPressOverTheLink);

} // namespace
