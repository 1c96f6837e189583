// OPC read speed. Cached reads per second (the path every read after the
// first one takes) against the in-process fake bridge, and the latency of a
// first read against the real bridge and a node-opcua server on loopback:
// of a new item on a connected session (add the item, read the device), and
// of a whole cold start (start node and the bridge, connect, add, read).
// No timer or limit of the client is bypassed.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "opc/OpcClient.h"
#include "support/OpcFakeBridge.h"
#include "support/OpcTestServer.h"

namespace meldrix {
namespace {

using testing::OpcFakeBridge;
using testing::OpcTestServer;

ConfigValueReader SectionFor(const std::string& url) {
  return [url](const std::string& section, const std::string& key) {
    return section == "OPC" && key == "Sim" ? url : std::string();
  };
}

void BM_OpcCachedRead(benchmark::State& state) {
  OpcFakeBridge bridge;
  COpcClient client(bridge.Launcher());
  client.SetConfiguration(SectionFor("opc.tcp://plc:4840"));
  std::string value;
  if (!client.ReadValue("Sim", "", "ns=2;s=Temp", value)) state.SkipWithError("first read failed");
  for (auto _ : state) benchmark::DoNotOptimize(client.ReadValue("Sim", "", "ns=2;s=Temp", value));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpcCachedRead);

// The real bridge and server, shared by the benchmarks below.
struct RealOpc {
  RealOpc() {
    ::setenv("MELDRIX_OPC_BRIDGE", MELDRIX_BUILD_DIR "/meldrix-opc-bridge", 1);
    if (std::filesystem::exists(testing::OpcNodeModules())) server = std::make_unique<OpcTestServer>();
  }
  std::unique_ptr<OpcTestServer> server;
};
RealOpc& Real() {
  static RealOpc real;
  return real;
}

void BM_OpcFirstReadOfAnItem(benchmark::State& state) {
  if (!Real().server) return state.SkipWithError("no node modules: run scripts/install-deps");
  COpcClient client;
  client.SetConfiguration(SectionFor(Real().server->Url()));
  std::string value;
  if (!client.ReadValue("Sim", "", "ns=1;s=Counter", value)) return state.SkipWithError("cannot connect");
  int next = 0;
  for (auto _ : state) {
    if (!client.ReadValue("Sim", "", "ns=1;s=Bulk." + std::to_string(next), value) ||
        value != std::to_string(next))
      return state.SkipWithError(("read failed: " + client.LastErrorText()).c_str());
    ++next;
  }
}
BENCHMARK(BM_OpcFirstReadOfAnItem)->Iterations(400)->Unit(benchmark::kMillisecond);

void BM_OpcCachedReadRealBridge(benchmark::State& state) {
  if (!Real().server) return state.SkipWithError("no node modules: run scripts/install-deps");
  COpcClient client;
  client.SetConfiguration(SectionFor(Real().server->Url()));
  std::string value;
  if (!client.ReadValue("Sim", "", "Plant.Line1.Temp", value)) return state.SkipWithError("cannot connect");
  for (auto _ : state) benchmark::DoNotOptimize(client.ReadValue("Sim", "", "Plant.Line1.Temp", value));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpcCachedReadRealBridge);

void BM_OpcColdFirstRead(benchmark::State& state) {
  if (!Real().server) return state.SkipWithError("no node modules: run scripts/install-deps");
  for (auto _ : state) {
    COpcClient client;
    client.SetConfiguration(SectionFor(Real().server->Url()));
    std::string value;
    // Timed by hand: ending the bridge afterwards is not part of the read.
    const auto start = std::chrono::steady_clock::now();
    const bool ok = client.ReadValue("Sim", "", "ns=1;s=Counter", value);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!ok) return state.SkipWithError(("read failed: " + client.LastErrorText()).c_str());
  }
}
BENCHMARK(BM_OpcColdFirstRead)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace meldrix
