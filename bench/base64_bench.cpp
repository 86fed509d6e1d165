// Encoding a key image file's bytes in Base64, into a buffer made for it.
#include "streamdeck/base64.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

void BM_Base64Encode(benchmark::State &state) {
  const auto size = static_cast<std::uint32_t>(state.range(0));
  std::vector<unsigned char> bytes(size);
  for (std::uint32_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<unsigned char>(i * 131u + 7u);
  }
  std::vector<char> text(Base64EncodedLength(size));
  for (auto _ : state) {
    benchmark::DoNotOptimize(Base64EncodeInto(bytes.data(), size, text.data()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
}

// 12919 bytes: the key image of the host driver's workload.
BENCHMARK(BM_Base64Encode)->Arg(12919)->RangeMultiplier(4)->Range(1 << 10, 16 << 20);

} // namespace
