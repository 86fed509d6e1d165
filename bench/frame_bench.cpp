// Preparing one outgoing text frame of a setImage text: the plug-in's own way
// (the text becomes the payload and is masked in place), and for comparison
// the library's (a client-side hybi13 processor checks the text as UTF-8 and
// masks it into a copy).
#include "streamdeck/text_frame.h"

#include <websocketpp/config/asio_no_tls_client.hpp>
#include <websocketpp/processors/hybi13.hpp>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using Config = websocketpp::config::asio_client;
using Processor = websocketpp::processor::hybi13<Config>;
using MessageManager = Config::con_msg_manager_type;

void BM_PrepareDataFrame(benchmark::State &state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  Config::rng_type random;
  const auto manager = std::make_shared<MessageManager>();
  Processor processor(false, false, manager, random);
  // The message as the connection's send builds it from the text.
  const MessageManager::message_ptr message =
      manager->get_message(websocketpp::frame::opcode::text, size);
  message->append_payload(std::string(size, 'Q'));
  for (auto _ : state) {
    const MessageManager::message_ptr prepared = manager->get_message();
    const websocketpp::lib::error_code error = processor.prepare_data_frame(message, prepared);
    if (error) {
      state.SkipWithError(error.message().c_str());
      break;
    }
    benchmark::DoNotOptimize(prepared->get_payload().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// 17369 bytes: the setImage text of the host driver's key image.
BENCHMARK(BM_PrepareDataFrame)->Arg(17369)->RangeMultiplier(4)->Range(1 << 10, 16 << 20);

// The UTF-8 check, the frame and the masking; the text that each frame takes
// over is made outside the timed part.
void BM_PrepareTextFrame(benchmark::State &state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::string text(size, 'Q');
  std::uint32_t key = 0x5A17C3E9u;
  for (auto _ : state) {
    state.PauseTiming();
    std::string taken = text;
    state.ResumeTiming();
    benchmark::DoNotOptimize(IsValidUtf8(taken));
    const OutgoingMessage::ptr frame = PrepareTextFrame(std::move(taken), key++, [] {});
    benchmark::DoNotOptimize(frame->get_payload().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

BENCHMARK(BM_PrepareTextFrame)->Arg(17369)->RangeMultiplier(4)->Range(1 << 10, 16 << 20);

} // namespace
