// Dropped files per second through the file source: each poll takes a folder
// of small alarm files (read under the lock, emptied, removed), and bytes per
// second through a file output that is opened and closed per byte. The polls
// are called directly: the running program's file poll timer, its limit of
// messages per pass and its delivery timer are bypassed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "sources/FileSource.h"
#include "sources/FileOutputChannel.h"

namespace {

namespace fs = std::filesystem;

fs::path MakeFolder() {
  std::string pattern = (fs::temp_directory_path() / "meldrix-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  return pattern;
}

void BM_FileSourceDroppedFiles(benchmark::State& state) {
  fs::path folder = MakeFolder();
  const int files = static_cast<int>(state.range(0));
  meldrix::CFileSource source;
  std::size_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < files; ++i)
      std::ofstream(folder / ("alarm" + std::to_string(i) + ".txt")) << "FIRE hall 3 detector 7\r\n";
    state.ResumeTiming();
    source.Poll((folder / "*.txt").string(), true, [&](unsigned char) {
      ++bytes;
      return true;
    });
  }
  state.SetItemsProcessed(state.iterations() * files);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.SetLabel("bypasses the file poll timer, the per-pass message limit and the delivery timer");
  fs::remove_all(folder);
}
BENCHMARK(BM_FileSourceDroppedFiles)->Arg(10)->Arg(100);

void BM_FileOutputBytePerOpen(benchmark::State& state) {
  fs::path folder = MakeFolder();
  meldrix::OutDestSettings settings;
  settings.m_Dest = meldrix::OutDestSettings::kFileDest;
  settings.m_File = (folder / "copy.bin").string();
  settings.m_FileMode = state.range(0) != 0;
  meldrix::OutPortServices services;
  meldrix::CFileOutputChannel channel(settings);
  for (auto _ : state) channel.Send("x", nullptr, services);
  state.SetBytesProcessed(state.iterations());
  channel.Close();
  fs::remove_all(folder);
}
BENCHMARK(BM_FileOutputBytePerOpen)->Arg(0)->Arg(1);

}  // namespace
