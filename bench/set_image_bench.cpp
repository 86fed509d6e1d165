// Building the setImage text of a key image from the file's bytes: the bytes
// are Base64-encoded straight into the text that goes out.
#include "keep_last.h"
#include "plugin/zorvane_plugin.h"
#include "streamdeck/plugin_channel.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

void BM_SetImageText(benchmark::State &state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::vector<unsigned char> png(size);
  for (std::size_t i = 0; i < size; ++i) {
    png[i] = static_cast<unsigned char>(i * 131u + 7u);
  }
  cZorvanePlugin plugin;
  LastTextSession session;
  ESDPluginChannel channel("uuid", &session, &plugin);
  for (auto _ : state) {
    channel.SetImage(png.data(), size, "BENCHKEY00");
    benchmark::DoNotOptimize(session.Last().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// 12919 bytes: the host driver's key image.
BENCHMARK(BM_SetImageText)->Arg(12919)->RangeMultiplier(4)->Range(1 << 10, 16 << 20);

} // namespace
