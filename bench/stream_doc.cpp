// Speed of writing into the log's line store, with and without a console
// front end rendering every completed line.
#include <benchmark/benchmark.h>

#include <sstream>

#include "app/ConsoleLog.h"
#include "util/StreamDoc.h"

using namespace meldrix;

namespace {

const std::string kLine = "12:00:01 COM1: Brandmeldung Halle 3, Melder 17 ausgel\xF6st\r\n";

void BM_WriteLines(benchmark::State& state) {
  CStreamDoc doc(2400, 132);
  for (auto _ : state) doc.Write(kLine);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLine.size()));
}
BENCHMARK(BM_WriteLines);

void BM_WriteLongText(benchmark::State& state) {
  CStreamDoc doc(2400, 132);
  const std::string text(static_cast<size_t>(state.range(0)), 'x');
  for (auto _ : state) doc.Write(text);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_WriteLongText)->Arg(100000);

void BM_WriteLinesToConsole(benchmark::State& state) {
  CStreamDoc doc(2400, 132);
  std::ostringstream out;
  CConsoleLog console(out, true);
  doc.AddObserver(&console);
  doc.SetColour(0x008000);
  for (auto _ : state) {
    doc.Write(kLine);
    if (out.tellp() > (1 << 20)) out.str({});
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLine.size()));
}
BENCHMARK(BM_WriteLinesToConsole);

}  // namespace
