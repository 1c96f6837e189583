// Korvane commands per second: the real client against korvane-stub on a Unix
// socket, one connection per command as the engine sends them.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/Korvane.h"
#include "engine/KorvaneReply.h"

extern char** environ;

namespace {

using namespace meldrix;

class Stub {
 public:
  // On a Unix socket, or with `tcp` on a loopback port named "localhost" (a
  // name the client looks up once, not for every command).
  explicit Stub(std::vector<std::string> extra = {}, bool tcp = false) {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvane-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return;
    folder_ = pattern;
    const std::filesystem::path ready = folder_ / "ready";
    std::vector<std::string> args = {MELDRIX_BUILD_DIR "/korvane-stub", "--endpoint",
                                     tcp ? "tcp:127.0.0.1:0" : "unix:" + (folder_ / "k.sock").string(),
                                     "--journal", (folder_ / "journal").string(), "--ready-file", ready.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    for (int i = 0; i < 500 && !std::filesystem::exists(ready); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream(ready) >> endpoint_;
    if (tcp && endpoint_.starts_with("tcp:127.0.0.1:")) endpoint_ = "tcp:localhost:" + endpoint_.substr(14);
  }
  ~Stub() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  bool Ready() const { return pid_ > 0 && !endpoint_.empty(); }
  const std::string& Endpoint() const { return endpoint_; }

 private:
  std::filesystem::path folder_;
  std::string endpoint_;
  pid_t pid_ = -1;
};

// Round trip of one command: connect, send, reply, close. Arguments: the
// text's length, and 1 for a TCP endpoint by name instead of a Unix socket.
void BM_KorvaneSend(benchmark::State& state) {
  Stub stub({}, state.range(1) != 0);
  if (!stub.Ready()) {
    state.SkipWithError("korvane-stub did not start");
    return;
  }
  state.SetLabel(stub.Endpoint().substr(0, stub.Endpoint().find(':')));
  CKorvane korvane(stub.Endpoint());
  std::string command =
      KorvaneSendCommand("4711", std::string(static_cast<size_t>(state.range(0)), 'x'));
  for (auto _ : state) {
    KorvaneResult result = korvane.Execute(command);
    if (!result.Succeeded() || !IsKorvaneSendAccepted(result.reply)) {
      state.SkipWithError("send not accepted");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KorvaneSend)->Args({40, 0})->Args({1000, 0})->Args({40, 1})->UseRealTime();

void BM_KorvaneReceiverList(benchmark::State& state) {
  std::string list;
  for (int i = 0; i < 500; ++i) list += "Empf\xC3\xA4nger" + std::to_string(i) + ".1[" + std::to_string(i) + "]|";
  Stub stub({"--receivers", list});
  if (!stub.Ready()) {
    state.SkipWithError("korvane-stub did not start");
    return;
  }
  CKorvane korvane(stub.Endpoint());
  for (auto _ : state) {
    KorvaneResult result = korvane.Execute(kKorvaneGetReceiversCommand);
    benchmark::DoNotOptimize(ParseKorvaneReceivers(result.reply));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KorvaneReceiverList)->UseRealTime();

}  // namespace
