// What tracing costs a caller when no trace server listens (the usual case on
// a running installation), and what a text costs when one does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "util/Trace.h"

namespace {

using namespace meldrix;

void BM_TraceMessageWithoutServer(benchmark::State& state) {
  std::string folder = std::filesystem::temp_directory_path() / ("bench-trace-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
  SetTraceConfigFile("");
  int i = 0;
  for (auto _ : state) {
    TraceMessage(kTraceProtocolBytes, " Siedle(%d)RX(%02X)", 4, i++ & 0xFF);
    benchmark::DoNotOptimize(GetTraceMask());
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_TraceMessageWithoutServer);

}  // namespace
