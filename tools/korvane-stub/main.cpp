// korvane-stub: a stand-in for the paging server Korvane, for tests and demos.
//
//   korvane-stub --endpoint ENDPOINT --journal FILE [--receivers LIST]
//                [--groups LIST] [--reply TEXT] [--silent] [--hang]
//                [--ready-file FILE]
//
// Listens on ENDPOINT ("unix:PATH" or "tcp:HOST:PORT"; port 0 picks a free
// one) and reads one command per connection until the client shuts its write
// side. Every command is appended to the journal as one line (backslash, CR
// and LF escaped as \\, \r, \n) and written out before the answer, so a reader
// that got the answer finds the line. Answers: "[send(" the next job number
// (1, 2, ...) or the --reply text; "[check(" "1"; "[GetValue(Setup.Receivers)]"
// the --receivers list; "[GetValue(Setup.Groups)]" the --groups list; anything
// else "0". --silent closes every connection without an answer; --hang keeps
// it open unanswered until the stub stops. --ready-file receives the bound
// endpoint once the stub accepts connections. A connection that closes without
// sending anything is ignored. SIGTERM or SIGINT stop it with
// exit status 0. It prints nothing except errors.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/LocalStream.h"

using namespace meldrix;

namespace {

constexpr std::size_t kMaxCommandBytes = 1024 * 1024;
constexpr auto kCommandReadLimit = std::chrono::seconds(30);

struct Options {
  std::string endpoint, journal, receivers, groups, readyFile;
  std::optional<std::string> reply;
  bool silent = false, hang = false;
};

void Usage() {
  std::fprintf(stderr,
               "usage: korvane-stub --endpoint ENDPOINT --journal FILE [--receivers LIST]\n"
               "                    [--groups LIST] [--reply TEXT] [--silent] [--hang]\n"
               "                    [--ready-file FILE]\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& target) {
      if (i + 1 >= argc) return false;
      target = argv[++i];
      return true;
    };
    std::string reply;
    if (arg == "--endpoint") {
      if (!value(options.endpoint)) return false;
    } else if (arg == "--journal") {
      if (!value(options.journal)) return false;
    } else if (arg == "--receivers") {
      if (!value(options.receivers)) return false;
    } else if (arg == "--groups") {
      if (!value(options.groups)) return false;
    } else if (arg == "--ready-file") {
      if (!value(options.readyFile)) return false;
    } else if (arg == "--reply") {
      if (!value(reply)) return false;
      options.reply = reply;
    } else if (arg == "--silent") {
      options.silent = true;
    } else if (arg == "--hang") {
      options.hang = true;
    } else {
      return false;
    }
  }
  return !options.endpoint.empty() && !options.journal.empty();
}

std::string EscapeJournalLine(const std::string& command) {
  std::string line;
  line.reserve(command.size() + 1);
  for (char c : command) {
    if (c == '\\')
      line += "\\\\";
    else if (c == '\r')
      line += "\\r";
    else if (c == '\n')
      line += "\\n";
    else
      line += c;
  }
  line += '\n';
  return line;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

class Stub {
 public:
  Stub(Options options, int journalFd, int stopFd)
      : options_(std::move(options)), journalFd_(journalFd), stopFd_(stopFd) {}

  void Serve(LocalStream connection) {
    Track(connection.Fd(), true);
    ServeCommand(connection);
    Track(connection.Fd(), false);
  }

  // Ends every connection still reading, so stopping never waits for a
  // client that keeps its write side open.
  void Stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (int fd : active_) ::shutdown(fd, SHUT_RDWR);
  }

 private:
  void Track(int fd, bool add) {
    std::lock_guard lock(mutex_);
    if (add) {
      active_.push_back(fd);
      if (stopping_) ::shutdown(fd, SHUT_RDWR);
    } else {
      active_.remove(fd);
    }
  }

  void ServeCommand(LocalStream& connection) {
    const auto deadline = std::chrono::steady_clock::now() + kCommandReadLimit;
    std::string command;
    if (connection.ReceiveToEnd(command, kMaxCommandBytes, deadline) != 0) return;
    // A connection that sends nothing is not a command (for example another
    // program probing whether the socket is alive).
    if (command.empty()) return;
    std::string answer;
    {
      std::lock_guard lock(mutex_);
      if (!WriteAll(journalFd_, EscapeJournalLine(command)))
        std::fprintf(stderr, "korvane-stub: journal: %s\n", std::strerror(errno));
      answer = AnswerFor(command);
    }
    if (options_.hang) {
      pollfd p{stopFd_, POLLIN, 0};
      while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
      }
      return;
    }
    if (options_.silent) return;
    connection.SendAll(answer, std::chrono::steady_clock::now() + kCommandReadLimit);
  }

  std::string AnswerFor(const std::string& command) {
    if (command.starts_with("[send(")) return options_.reply ? *options_.reply : std::to_string(++job_);
    if (command.starts_with("[check(")) return "1";
    if (command == "[GetValue(Setup.Receivers)]") return options_.receivers;
    if (command == "[GetValue(Setup.Groups)]") return options_.groups;
    return "0";
  }

  Options options_;
  int journalFd_, stopFd_;
  std::mutex mutex_;
  unsigned long job_ = 0;
  std::list<int> active_;
  bool stopping_ = false;
};

struct Worker {
  std::thread thread;
  std::shared_ptr<std::atomic<bool>> done;
};

void Reap(std::list<Worker>& workers, bool all) {
  for (auto it = workers.begin(); it != workers.end();) {
    if (all || it->done->load()) {
      it->thread.join();
      it = workers.erase(it);
    } else {
      ++it;
    }
  }
}

bool WriteReadyFile(const std::string& path, const std::string& endpoint) {
  std::string temporary = path + ".tmp";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, endpoint + "\n");
  ::close(fd);
  return ok && ::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    Usage();
    return 2;
  }
  auto endpoint = StreamEndpoint::Parse(options.endpoint);
  if (!endpoint) {
    std::fprintf(stderr, "korvane-stub: invalid endpoint \"%s\"\n", options.endpoint.c_str());
    return 2;
  }

  // Signals arrive through a descriptor so the accept loop can stop cleanly;
  // they are blocked before any thread starts so none of them takes one.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  sigdelset(&signals, SIGPIPE);
  int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
  int stopFd = ::eventfd(0, EFD_CLOEXEC);
  if (signalFd < 0 || stopFd < 0) {
    std::fprintf(stderr, "korvane-stub: %s\n", std::strerror(errno));
    return 1;
  }

  int journalFd =
      ::open(options.journal.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (journalFd < 0) {
    std::fprintf(stderr, "korvane-stub: %s: %s\n", options.journal.c_str(), std::strerror(errno));
    return 1;
  }

  int error = 0;
  StreamListener listener = StreamListener::Listen(*endpoint, error);
  if (error) {
    std::fprintf(stderr, "korvane-stub: cannot listen on %s: %s\n", options.endpoint.c_str(),
                 std::strerror(error));
    return 1;
  }
  if (!options.readyFile.empty() &&
      !WriteReadyFile(options.readyFile, listener.BoundEndpoint().ToString())) {
    std::fprintf(stderr, "korvane-stub: %s: %s\n", options.readyFile.c_str(),
                 std::strerror(errno));
    return 1;
  }

  Stub stub(options, journalFd, stopFd);
  std::list<Worker> workers;
  for (;;) {
    LocalStream connection =
        listener.Accept(std::chrono::steady_clock::time_point::max(), error, signalFd);
    if (error == EINTR) break;  // SIGTERM or SIGINT
    Reap(workers, false);
    if (error) {
      if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers.push_back({std::thread([&stub, done, c = std::move(connection)]() mutable {
                         stub.Serve(std::move(c));
                         done->store(true);
                       }),
                       done});
  }

  std::uint64_t one = 1;
  if (::write(stopFd, &one, sizeof one) < 0) std::perror("korvane-stub");
  stub.Stop();
  Reap(workers, true);
  listener.Close();
  ::close(journalFd);
  return 0;
}
