// Handling one inbound keyUp text: parsing, dispatch, the key's record and
// the command it hands to the queue.
#include "keep_last.h"
#include "plugin/zorvane_plugin.h"
#include "streamdeck/plugin_channel.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const char kWillAppear[] =
    R"({"action":"com.brimcove.zorvaneplugin.broadcast","context":"BENCHBROADCAST",)"
    R"("device":"BENCHDEVICE0001","event":"willAppear","payload":{"controller":"Keypad",)"
    R"("coordinates":{"column":7,"row":3},"isInMultiAction":false,"settings":{},"state":0}})";
const char kKeyUp[] =
    R"({"action":"com.brimcove.zorvaneplugin.broadcast","context":"BENCHBROADCAST",)"
    R"("device":"BENCHDEVICE0001","event":"keyUp","payload":{"coordinates":{"column":7,)"
    R"("row":3},"isInMultiAction":false,"settings":{},"state":0}})";

void BM_HandleKeyUp(benchmark::State &state) {
  cZorvanePlugin plugin;
  LastTextSession session;
  LastCommandQueue commands;
  ESDPluginChannel channel("uuid", &session, &plugin);
  plugin.SetChannel(&channel);
  plugin.SetCommandQueue(&commands);
  channel.HandleMessage(kWillAppear);
  const std::string keyUp = kKeyUp;
  for (auto _ : state) {
    channel.HandleMessage(keyUp);
    benchmark::DoNotOptimize(commands.Last());
  }
  if (commands.Last() == nullptr) {
    state.SkipWithError("the keyUp sent no command");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * keyUp.size()));
}

BENCHMARK(BM_HandleKeyUp);

} // namespace
