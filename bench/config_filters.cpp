// Speed of message matching and of loading and saving a large configuration.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "engine/MeldrixDoc.h"

using namespace meldrix;

namespace {

void AddMessages(CMessageArray& messages, int count) {
  for (int i = 0; i < count; ++i) {
    CMessage& m = messages.AddNew();
    m.m_Name = "Message " + std::to_string(i);
    m.m_LeftTrigger = "ALARM ?" + std::to_string(i);
    m.m_MidTrigger[0] = "Halle";
    m.m_Receiver = "G" + std::to_string(i);
    m.m_Text = "{{$MESSAGE}} an Gruppe " + std::to_string(i);
    m.m_CaseSensitive = i % 2;
    m.PrepareFilters();
  }
}

void BM_MatchAllMessages(benchmark::State& state) {
  CMessageArray messages;
  AddMessages(messages, static_cast<int>(state.range(0)));
  const std::string text = "ALARM 12 Brand in Halle 3, Melder 17, T\xFCr offen";
  for (auto _ : state) {
    int matches = 0;
    for (const auto& m : messages) matches += m->Matches(text) ? 1 : 0;
    benchmark::DoNotOptimize(matches);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MatchAllMessages)->Arg(10)->Arg(1000);

struct TempConfig {
  std::string folder;
  TempConfig() {
    std::string pattern = (std::filesystem::temp_directory_path() / "meldrix-bench-XXXXXX").string();
    folder = ::mkdtemp(pattern.data());
  }
  ~TempConfig() { std::filesystem::remove_all(folder); }
  ConfigPaths Paths() const { return {folder, folder + "/meldrix.cfg", ""}; }
};

void BM_SaveAndLoadMessages(benchmark::State& state) {
  TempConfig temp;
  CMeldrixDoc doc(temp.Paths());
  AddMessages(doc.m_Messages, static_cast<int>(state.range(0)));
  doc.SaveMessages();
  for (auto _ : state) {
    doc.LoadConfiguration();
    doc.SaveMessages();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SaveAndLoadMessages)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
