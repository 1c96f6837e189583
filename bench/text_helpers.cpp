// Speed of the text helpers on message-sized and large inputs.
#include <benchmark/benchmark.h>

#include "util/TextHelpers.h"

using namespace meldrix;

namespace {

std::string CsvLine(int fields) {
  std::string line;
  for (int i = 0; i < fields; ++i) {
    if (i) line += ';';
    line += (i % 5 == 0) ? "\"quoted; field\"" : "field" + std::to_string(i);
  }
  return line;
}

void BM_SplitFields(benchmark::State& state) {
  const std::string line = CsvLine(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::vector<std::string> fields;
    benchmark::DoNotOptimize(SplitFields(line, fields, ';', true));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_SplitFields)->Arg(8)->Arg(1000)->Arg(100000);

void BM_GetFieldLast(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string line = CsvLine(n);
  for (auto _ : state) benchmark::DoNotOptimize(GetField(line, n, ';', true));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_GetFieldLast)->Arg(8)->Arg(100000);

void BM_HtmlRoundTrip(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < state.range(0); ++i) text += "Brand in Halle 3 <\xC4\xD6\xDC> & Tor\r\n";
  for (auto _ : state) benchmark::DoNotOptimize(HtmlToText(TextToHtml(text, false)));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_HtmlRoundTrip)->Arg(1)->Arg(10000);

void BM_XmlEscape(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "M\xFCller & S\xF6hne <x> ";
  for (auto _ : state) benchmark::DoNotOptimize(XmlEscape(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_XmlEscape);

void BM_NewGuidText(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(NewGuidText(false));
}
BENCHMARK(BM_NewGuidText);

}  // namespace
