// The engine's heart: messages per second from received bytes through the
// per-character step, the delivery step and Process with 100 configured
// messages (an in-process Korvane that accepts everything), and bytes per
// second through message assembly alone. Both call the engine directly: the
// running program's delivery timer, source polls and per-pass limits are
// bypassed (bench/e2e_load.py measures the real program end to end).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "engine/Assembly.h"
#include "engine/Korvane.h"
#include "engine/MeldrixDoc.h"

namespace {

using namespace meldrix;

class AcceptingKorvane : public IKorvane {
 public:
  KorvaneResult Execute(std::string_view) override { return {KORVANE_S_OK, "1"}; }
};

// A document without a configuration file (defaults) and 100 messages; the
// last one matches what the benchmark sends, so every text is tried against
// all of them.
std::unique_ptr<CMeldrixDoc> MakeDoc() {
  auto doc = std::make_unique<CMeldrixDoc>(
      ConfigPaths{"/nonexistent", "/nonexistent/meldrix-bench.cfg", ""});
  doc->LoadConfiguration();
  doc->SetKorvane(std::make_shared<AcceptingKorvane>());
  for (int i = 0; i < 100; ++i) {
    CMessage& message = doc->m_Messages.AddNew();
    message.m_Name = "Message " + std::to_string(i);
    message.m_LeftTrigger = i < 99 ? "ZONE " + std::to_string(i) + " ?" : "ALARM ??";
    message.m_MidTrigger[0] = i % 3 == 0 ? "Halle" : "";
    message.m_CaseSensitive = i % 2;
    message.m_Receiver = "08" + std::to_string(i);
    message.PrepareFilters();
  }
  doc->ConfigureAssembly();
  doc->SetProcessingActive(true);
  return doc;
}

void BM_BytesToKorvane(benchmark::State& state) {
  auto doc = MakeDoc();
  CInPort& port = doc->m_InPorts.AddNew();
  port.m_Name = "COM1";
  port.m_Source = CInPort::kSerial;
  doc->ConfigureAssembly();
  const std::string text = "ALARM 17 Brandmelder Halle 3 Erdgeschoss Sued\r\n";
  for (auto _ : state) {
    for (char c : text) port.AddChar(c);
    doc->DeliverMessages();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["sent"] = doc->m_SentMessages;
  state.SetLabel("bypasses the delivery timer and the source poll; in-process Korvane");
}
BENCHMARK(BM_BytesToKorvane);

void BM_AssemblyBytes(benchmark::State& state) {
  CMessageAssembly assembly;
  AssemblySettings settings;
  settings.endOfMessage = "\r\n";
  assembly.Configure(settings);
  std::string stream;
  for (int i = 0; i < 100; ++i)
    stream += "ALARM " + std::to_string(i) + " Brandmelder Halle 3 \xC3\xA4 Sued\x07\r\n";
  for (auto _ : state) {
    assembly.AddChars(stream);
    benchmark::DoNotOptimize(assembly.TakeCompleted());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
  state.SetLabel("assembly only; bypasses the source poll and the delivery timer");
}
BENCHMARK(BM_AssemblyBytes);

}  // namespace
