// DDE speed between real processes: request round trips per second against a
// `meldrix-dde serve` peer, and the time from an execute of
// "[messageid(...)]" on Meldrix|Signal until Korvane's journal holds the sent
// command (the whole road through the running program; no timer of the
// program is bypassed).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/DdeInstance.h"
#include "platform/DdeRuntimeFolder.h"

namespace meldrix {
namespace {

namespace fs = std::filesystem;

class Child {
 public:
  Child(std::vector<std::string> args, const std::vector<std::string>& extraEnv,
        const std::string& outFile = "/dev/null") {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  bool Running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

// A temporary folder that is also the DDE runtime folder of this process.
struct BenchFolder {
  BenchFolder() {
    char pattern[] = "/tmp/meldrix-bench-dde-XXXXXX";
    path = mkdtemp(pattern);
    setenv("MELDRIX_DDE_DIR", (path + "/dde").c_str(), 1);
  }
  ~BenchFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string path;
};

template <typename F>
bool WaitFor(F condition, int seconds = 20) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

DdeConv ConnectWhenUp(DdeInstance& instance, const std::string& service, const std::string& topic) {
  DdeConv conv = 0;
  WaitFor([&] { return (conv = instance.Connect(service, topic)) != 0; });
  return conv;
}

void BM_DdeRequestRoundTrip(benchmark::State& state) {
  BenchFolder folder;
  Child server({MELDRIX_BUILD_DIR "/meldrix-dde", "serve", "Bench", "Line1", "Temp=21.5"},
               {"MELDRIX_DDE_DIR=" + folder.path + "/dde"});
  DdeInstance client(nullptr, APPCMD_CLIENTONLY);
  DdeConv conv = ConnectWhenUp(client, "Bench", "Line1");
  if (conv == 0) {
    state.SkipWithError("no conversation with meldrix-dde serve");
    return;
  }
  std::string value;
  for (auto _ : state) {
    if (!client.ClientTransaction(conv, XTYP_REQUEST, "Temp", CF_TEXT, "", kDdeTimeoutMs, &value)) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DdeRequestRoundTrip)->UseRealTime();

std::size_t FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;
}

void BM_DdeExecuteToKorvane(benchmark::State& state) {
  BenchFolder folder;
  std::string journal = folder.path + "/journal.txt";
  std::string endpoint = "unix:" + folder.path + "/korvane.sock";
  Child korvane({MELDRIX_BUILD_DIR "/korvane-stub", "--endpoint", endpoint, "--journal", journal},
                {});
  fs::create_directories(folder.path + "/run");
  std::ofstream(folder.path + "/meldrix.cfg")
      << "[Settings]\nAutoActivate=1\n[Message1]\nName=Any\nReceiver=R\nLeftTrigger=\n"
         "Text={{$MESSAGE}}\n[Korvane]\nEndpoint=" << endpoint << "\n";
  Child meldrix({MELDRIX_BUILD_DIR "/meldrix", "-HIDE"},
                {"MELDRIX_DATA=" + folder.path, "MELDRIX_RUNTIME_DIR=" + folder.path + "/run",
                 "MELDRIX_DDE_DIR=" + folder.path + "/dde"});
  DdeInstance client(nullptr, APPCMD_CLIENTONLY);
  DdeConv conv = ConnectWhenUp(client, "Meldrix", "Signal");
  // Activation sends "[check(Meldrix)]" first.
  if (conv == 0 || !WaitFor([&] { return FileSize(journal) > 0; })) {
    state.SkipWithError("meldrix or korvane-stub did not come up");
    return;
  }
  long n = 0;
  for (auto _ : state) {
    std::size_t before = FileSize(journal);
    std::string command = "[messageid(bench " + std::to_string(n++) + ")]";
    command.push_back('\0');
    if (!client.ClientTransaction(conv, XTYP_EXECUTE, "", CF_TEXT, command, kDdeTimeoutMs) ||
        !WaitFor([&] { return FileSize(journal) > before; })) {
      state.SkipWithError("execute did not reach Korvane");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DdeExecuteToKorvane)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace meldrix
