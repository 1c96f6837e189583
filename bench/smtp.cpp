// Throughput of the SMTP sink (mails per second from local clients through the
// dialogue, decoding and the engine's queue) and of the socket source's
// buffer path (lines per second from a TCP peer to the poll).
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sources/SmtpSink.h"
#include "sources/SocketClient.h"
#include "sources/SocketSource.h"

namespace meldrix {
namespace {

class CountingEngine : public IMailLineSink, public IMailVariableSetter {
 public:
  bool IsProcessingActive() const override { return true; }
  bool QueueMailLines(std::vector<std::string> texts) override {
    std::lock_guard lock(mutex_);
    lines_ += texts.size();
    changed_.notify_all();
    return true;
  }
  void SetVariable(const std::string&, const std::string&) override {}

  void WaitFor(std::size_t lines) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return lines_ >= lines; });
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    lines_ = 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t lines_ = 0;
};

// One pipelined session: EHLO, mails with a quoted-printable body, QUIT.
std::string SessionScript(int mails) {
  std::string script = "EHLO bench\r\n";
  for (int m = 0; m < mails; ++m) {
    script +=
        "MAIL From: <anlage@plant.example>\r\nRCPT To: <ls@example.org>\r\nDATA\r\n"
        "Subject: =?UTF-8?Q?Brand_Halle_S=C3=BCd?=\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
        "Temperatur 80=C2=B0C im Gro=C3=9Fraum, Melder " +
        std::to_string(m) + "\r\n.\r\n";
  }
  return script + "QUIT\r\n";
}

void DrainUntilClosed(CSocketClient& client) {
  std::string all, piece;
  while (all.find("221 closing") == std::string::npos) {
    if (client.Receive(piece) > 0) {
      all += piece;
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
}

void BM_SmtpMailsThroughSink(benchmark::State& state) {
  const int clients = static_cast<int>(state.range(0));
  constexpr int kMailsPerClient = 100;
  CountingEngine engine;
  CSmtpSink sink(engine, engine);
  MailServerSettings settings;
  settings.SmtpPort = 0;
  if (!sink.Start(settings)) {
    state.SkipWithError("the sink could not listen");
    return;
  }
  const std::string script = SessionScript(kMailsPerClient);
  for (auto _ : state) {
    engine.Reset();
    std::vector<std::thread> drivers;
    for (int c = 0; c < clients; ++c) {
      drivers.emplace_back([&] {
        CSocketClient client;
        if (!client.Connect("127.0.0.1", sink.Port(), 5000) || !client.Send(script)) return;
        DrainUntilClosed(client);
      });
    }
    for (auto& d : drivers) d.join();
    engine.WaitFor(static_cast<std::size_t>(2 * clients * kMailsPerClient));  // subject + one body line
  }
  state.SetItemsProcessed(state.iterations() * clients * kMailsPerClient);
}
BENCHMARK(BM_SmtpMailsThroughSink)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SocketSourceLines(benchmark::State& state) {
  constexpr int kLines = 20000;
  CSocketSourceListener source;
  int error = 0;
  if (!source.Start(0, error)) {
    state.SkipWithError("the socket source could not listen");
    return;
  }
  std::string text;
  for (int i = 0; i < kLines; ++i) text += "ALARM Melder " + std::to_string(i) + " Halle 3\r\n";
  for (auto _ : state) {
    std::thread writer([&] {
      CSocketClient client;
      if (client.Connect("127.0.0.1", source.Port(), 5000)) client.Send(text);
      client.Close();
    });
    int lines = 0;
    while (lines < kLines) {
      const auto result = source.Poll([&](char c) {
        if (c == '\n') ++lines;
        return true;
      });
      if (result == CSocketBufferList::PollResult::Empty) std::this_thread::yield();
    }
    writer.join();
  }
  state.SetItemsProcessed(state.iterations() * kLines);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_SocketSourceLines)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace meldrix
