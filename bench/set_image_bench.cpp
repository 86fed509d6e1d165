// Building the setImage text for a key image that is already Base64 text.
#include "keep_last.h"
#include "plugin/zorvane_plugin.h"
#include "streamdeck/plugin_channel.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_SetImageText(benchmark::State &state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::string image(size, 'Q'); // Base64 text of size * 3 / 4 file bytes
  cZorvanePlugin plugin;
  LastTextSession session;
  ESDPluginChannel channel("uuid", &session, &plugin);
  for (auto _ : state) {
    channel.SetImage(image, "BENCHKEY00");
    benchmark::DoNotOptimize(session.Last().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// 17228 characters: the Base64 text of the host driver's 12919-byte key image.
BENCHMARK(BM_SetImageText)->Arg(17228)->RangeMultiplier(4)->Range(1 << 10, 16 << 20);

} // namespace
