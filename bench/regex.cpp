// Our regular expressions against std::regex on the patterns the program
// uses most: DDE and OPC reference names and a filter-like literal search.
// GCC 12 reports false "maybe uninitialized" warnings inside <regex>.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <benchmark/benchmark.h>

#include <regex>
#include <string>

#include "util/RegExpr.h"

using namespace meldrix;

namespace {

const char* const kDdePattern = "^DDE\\('([^']+)','([^']+)','([^']+)'\\)$";
const char* const kOpcPattern = "^OPC\\('([^']+)','([^']+)'\\)$";
const std::string kDdeName = "DDE('Excel','[Alarme.xlsx]Tabelle1','Z12S3')";
const std::string kOpcName = "OPC('Matrikon.OPC.Simulation.1','Bucket Brigade.Int4')";
const std::string kMessage =
    "14:03:22 Meldergruppe 0412 Halle 3 Obergeschoss Nord Rauchmelder ausgel\xF6st - "
    "Zustand: BRANDALARM Stufe 2, Quittierung erforderlich";

void OursReference(benchmark::State& state, const char* pattern, const std::string& text) {
  const CRegExpr compiled(pattern);
  for (auto _ : state) {
    CRegExpr re = compiled;  // as the callers do: a copy per use
    benchmark::DoNotOptimize(re.Match(text));
    benchmark::DoNotOptimize(re.GroupText(2));
  }
}

void StdReference(benchmark::State& state, const char* pattern, const std::string& text) {
  const std::regex re(pattern);
  std::smatch m;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::regex_search(text, m, re));
    benchmark::DoNotOptimize(m[2].str());
  }
}

void BM_Ours_Dde(benchmark::State& s) { OursReference(s, kDdePattern, kDdeName); }
void BM_Std_Dde(benchmark::State& s) { StdReference(s, kDdePattern, kDdeName); }
void BM_Ours_Opc(benchmark::State& s) { OursReference(s, kOpcPattern, kOpcName); }
void BM_Std_Opc(benchmark::State& s) { StdReference(s, kOpcPattern, kOpcName); }
// A name that is neither: how fast the common "not a reference" case fails.
void BM_Ours_DdeMiss(benchmark::State& s) { OursReference(s, kDdePattern, "$MESSAGE"); }
void BM_Std_DdeMiss(benchmark::State& s) { StdReference(s, kDdePattern, "$MESSAGE"); }

void BM_Ours_Literal(benchmark::State& state) {
  CRegExpr re("BRANDALARM");
  for (auto _ : state) benchmark::DoNotOptimize(re.Match(kMessage));
}
void BM_Std_Literal(benchmark::State& state) {
  const std::regex re("BRANDALARM");
  for (auto _ : state) benchmark::DoNotOptimize(std::regex_search(kMessage, re));
}
void BM_Ours_LiteralIgnoreCase(benchmark::State& state) {
  CRegExpr re("brandalarm", true);
  for (auto _ : state) benchmark::DoNotOptimize(re.Match(kMessage));
}
void BM_Std_LiteralIgnoreCase(benchmark::State& state) {
  const std::regex re("brandalarm", std::regex::icase);
  for (auto _ : state) benchmark::DoNotOptimize(std::regex_search(kMessage, re));
}

void BM_Ours_Compile(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(CRegExpr(kDdePattern).IsCompiled());
}
void BM_Std_Compile(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(std::regex(kDdePattern).mark_count());
}

}  // namespace

BENCHMARK(BM_Ours_Dde);
BENCHMARK(BM_Std_Dde);
BENCHMARK(BM_Ours_Opc);
BENCHMARK(BM_Std_Opc);
BENCHMARK(BM_Ours_DdeMiss);
BENCHMARK(BM_Std_DdeMiss);
BENCHMARK(BM_Ours_Literal);
BENCHMARK(BM_Std_Literal);
BENCHMARK(BM_Ours_LiteralIgnoreCase);
BENCHMARK(BM_Std_LiteralIgnoreCase);
BENCHMARK(BM_Ours_Compile);
BENCHMARK(BM_Std_Compile);
