// Throughput of the SMTP sink (mails per second from local clients through the
// dialogue, decoding and the engine's queue) and of the socket source's
// buffer path (lines per second from a TCP peer to the poll).
//
// The SMTP benchmarks bypass the engine's delivery: they count the lines
// handed to the engine's mail queue, not messages sent to Korvane.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/TcpSocket.h"
#include "sources/SmtpSink.h"
#include "sources/SocketClient.h"
#include "sources/SocketSource.h"

extern char** environ;

namespace meldrix {
namespace {

class CountingEngine : public IMailLineSink, public IMailVariableSetter {
 public:
  bool IsProcessingActive() const override { return true; }
  bool QueueMailLines(std::vector<std::string> texts) override {
    std::lock_guard lock(mutex_);
    lines_ += texts.size();
    ++mails_;
    changed_.notify_all();
    return true;
  }
  void SetVariable(const std::string&, const std::string&) override {}

  void WaitFor(std::size_t lines) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return lines_ >= lines; });
  }
  // False when fewer mails than asked arrived within the time.
  bool WaitForMails(std::size_t mails, std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return mails_ >= mails; });
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    lines_ = 0;
    mails_ = 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t lines_ = 0;
  std::size_t mails_ = 0;
};

constexpr const char* kBypassLabel = "engine delivery bypassed: counts what reaches the engine's mail queue";

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
  state.SetLabel(kBypassLabel);
}
BENCHMARK(BM_SmtpMailsThroughSink)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// A mail of about 1000 bytes, as Postfix's smtp-source -l 1000 sends.
std::string ShortMail(int number) {
  std::string mail =
      "From: <anlage@plant.example>\r\nTo: <ls@example.org>\r\nSubject: Alarm " + std::to_string(number) +
      "\r\nMessage-Id: <" + std::to_string(number) + "@plant.example>\r\n\r\n";
  while (mail.size() < 1000) mail += "Melder 17 Halle 3 Temperatur ueberschritten, bitte pruefen\r\n";
  return mail + ".\r\n";
}

// Sends text and reads the one-line reply; false unless it starts with code.
bool Exchange(TcpSocket& socket, const std::string& text, const char* code) {
  int error = 0;
  if (!text.empty() && !TcpSendAll(socket, text, 5000, error)) return false;
  std::string reply;
  char buffer[512];
  while (!reply.ends_with("\r\n")) {
    if (TcpWaitReadable(socket.Fd(), -1, 5000) != TcpWaitResult::Ready) return false;
    const long got = TcpReceive(socket, buffer, sizeof buffer, error);
    if (got == 0 || (got < 0 && error != EAGAIN)) return false;
    if (got > 0) reply.append(buffer, static_cast<std::size_t>(got));
  }
  return reply.starts_with(code);
}

// One connection, one mail, each command waiting for its reply (no
// pipelining), then QUIT and close: the way smtp-source drives a sink.
bool OneMailSession(std::uint16_t port, const std::string& mail) {
  TcpConnectFailure failure{};
  int error = 0;
  TcpSocket socket = TcpConnect("127.0.0.1", port, 5000, failure, error);
  return socket.IsOpen() && Exchange(socket, "", "220") && Exchange(socket, "EHLO bench\r\n", "250") &&
         Exchange(socket, "MAIL From:<anlage@plant.example>\r\n", "250") &&
         Exchange(socket, "RCPT To:<ls@example.org>\r\n", "250") && Exchange(socket, "DATA\r\n", "354") &&
         Exchange(socket, mail, "250") && Exchange(socket, "QUIT\r\n", "221");
}

// Many short connections from parallel clients (range 0), one mail each,
// range 1 mails in all: what a flood of alarms by mail looks like.
void BM_SmtpShortConnections(benchmark::State& state) {
  const int clients = static_cast<int>(state.range(0));
  const int mails = static_cast<int>(state.range(1));
  CountingEngine engine;
  CSmtpSink sink(engine, engine);
  MailServerSettings settings;
  settings.SmtpPort = 0;
  if (!sink.Start(settings)) {
    state.SkipWithError("the sink could not listen");
    return;
  }
  std::vector<std::string> texts;
  for (int m = 0; m < mails; ++m) texts.push_back(ShortMail(m));
  for (auto _ : state) {
    engine.Reset();
    std::atomic<int> next{0}, failed{0};
    std::vector<std::thread> drivers;
    for (int c = 0; c < clients; ++c) {
      drivers.emplace_back([&] {
        for (int m = next++; m < mails; m = next++) {
          if (!OneMailSession(sink.Port(), texts[static_cast<std::size_t>(m)])) ++failed;
        }
      });
    }
    for (auto& d : drivers) d.join();
    if (failed != 0 || !engine.WaitForMails(static_cast<std::size_t>(mails), std::chrono::seconds(30))) {
      state.SkipWithError("sessions failed or mails were lost");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * mails);
  state.SetLabel(kBypassLabel);
}
BENCHMARK(BM_SmtpShortConnections)->Args({20, 2000})->Unit(benchmark::kMillisecond)->UseRealTime();

// Postfix's smtp-source (when installed; the project does not need it)
// driving the sink: "smtp-source -s 20 -m N -l 1000", one mail per
// connection, so the sink can be set against Postfix's smtp-sink driven the
// same way.
std::string FindSmtpSource() {
  for (const char* candidate : {"/usr/sbin/smtp-source", "/usr/bin/smtp-source"}) {
    if (::access(candidate, X_OK) == 0) return candidate;
  }
  return {};
}

// User and system time of this process (the sink; smtp-source is a child).
double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_SmtpSourceAgainstSink(benchmark::State& state) {
  const std::string program = FindSmtpSource();
  if (program.empty()) {
    state.SkipWithError("Postfix's smtp-source is not installed");
    return;
  }
  const int mails = static_cast<int>(state.range(0));
  CountingEngine engine;
  CSmtpSink sink(engine, engine);
  MailServerSettings settings;
  settings.SmtpPort = 0;
  if (!sink.Start(settings)) {
    state.SkipWithError("the sink could not listen");
    return;
  }
  std::vector<std::string> args = {program, "-s", "20", "-m", std::to_string(mails), "-l", "1000",
                                   "127.0.0.1:" + std::to_string(sink.Port())};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  double sinkCpuSeconds = 0;
  for (auto _ : state) {
    engine.Reset();
    const double cpuBefore = ProcessCpuSeconds();
    pid_t pid = -1;
    int status = 0;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
        ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        !engine.WaitForMails(static_cast<std::size_t>(mails), std::chrono::seconds(30))) {
      state.SkipWithError("smtp-source failed or mails were lost");
      break;
    }
    sinkCpuSeconds += ProcessCpuSeconds() - cpuBefore;
  }
  posix_spawn_file_actions_destroy(&actions);
  state.SetItemsProcessed(state.iterations() * mails);
  // CPU the sink spent per mail: steadier than the rate on a busy machine.
  state.counters["sink_cpu_us_per_mail"] = sinkCpuSeconds * 1e6 / static_cast<double>(state.iterations() * mails);
  state.SetLabel(kBypassLabel);
}
BENCHMARK(BM_SmtpSourceAgainstSink)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

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
