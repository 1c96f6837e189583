// Runs the real meldrix program for end-to-end tests: a temporary data folder
// (MELDRIX_DATA), its own runtime folder for the single-instance lock, a
// Korvane stand-in, pseudo-terminals for serial sources. Children are always
// stopped: SIGTERM, then SIGKILL when they do not end in time.
#pragma once

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "engine/KorvaneStubProcess.h"
#include "platform/SingleInstance.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace meldrix::testing {

inline constexpr auto kE2eTimeout = kWaitTimeout;

// A pseudo-terminal: the program opens SlavePath() as its serial port, the
// test writes to the master side as the device would.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    char name[128];
    int slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&master_, &slave, name, &raw, nullptr) != 0)
      throw std::runtime_error("openpty failed");
    slavePath_ = name;
    // Keep the slave open here too, so the line does not hang up while the
    // program reopens it.
    slave_ = slave;
  }
  ~PseudoTerminal() { Close(); }
  void Close() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
  }
  const std::string& SlavePath() const { return slavePath_; }
  bool Write(const std::string& bytes) {
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // What the program sent to the device within `timeout` (stops at the first
  // pause after something arrived).
  std::string ReadAnswer(std::chrono::milliseconds timeout = kE2eTimeout) {
    std::string answer;
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      pollfd pfd{master_, POLLIN, 0};
      int ready = ::poll(&pfd, 1, answer.empty() ? 20 : 200);
      if (ready <= 0) {
        if (!answer.empty()) break;
        continue;
      }
      char buffer[256];
      ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      answer.append(buffer, static_cast<size_t>(n));
    }
    return answer;
  }

 private:
  int master_ = -1, slave_ = -1;
  std::string slavePath_;
};

// Our environment without the program's own settings, `entries` instead.
inline std::vector<std::string> EnvironmentWith(std::vector<std::string> entries) {
  for (char** e = environ; *e; ++e)
    if (std::string entry = *e; entry.rfind("MELDRIX_", 0) != 0) entries.push_back(entry);
  return entries;
}

inline std::vector<std::string> MeldrixEnvironment(const std::string& dataFolder, const std::string& runtimeFolder) {
  return EnvironmentWith({"MELDRIX_DATA=" + dataFolder, "MELDRIX_RUNTIME_DIR=" + runtimeFolder,
                          "MELDRIX_DDE_DIR=" + runtimeFolder + "/dde"});
}

// A program of the build with standard input from /dev/null, standard output
// and errors in `logBase`.out and .err.
class LoggedProcess : public ChildProcess {
 public:
  LoggedProcess(const std::string& program, std::vector<std::string> arguments,
                std::vector<std::string> environment, const std::string& logBase)
      : ChildProcess(Command(program, std::move(arguments)), Options(std::move(environment), logBase)),
        logBase_(logBase) {}

  std::string Output() const { return ReadFile(logBase_ + ".out"); }
  std::string Errors() const { return ReadFile(logBase_ + ".err"); }
  bool OutputContains(const std::string& text) const { return Output().find(text) != std::string::npos; }

 private:
  static std::vector<std::string> Command(const std::string& program, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), MELDRIX_BUILD_DIR "/" + program);
    return arguments;
  }
  static ChildOptions Options(std::vector<std::string> environment, const std::string& logBase) {
    ChildOptions options;
    options.environment = std::move(environment);
    options.stdoutFile = logBase + ".out";
    options.stderrFile = logBase + ".err";
    options.stdinFromNull = true;
    return options;
  }

  std::string logBase_;
};

// The program on its data folder, standard output and errors in files there.
class MeldrixProcess : public LoggedProcess {
 public:
  MeldrixProcess(const std::string& dataFolder, const std::string& runtimeFolder,
                 std::vector<std::string> arguments, const std::string& logName = "meldrix")
      : LoggedProcess("meldrix", std::move(arguments), MeldrixEnvironment(dataFolder, runtimeFolder),
                      dataFolder + "/" + logName) {}
};

// A data folder with a configuration file and a running Korvane stand-in.
class E2eSetup {
 public:
  E2eSetup() { std::filesystem::create_directories(RuntimeFolder()); }
  std::string DataFolder() const { return data_.Path(); }
  std::string RuntimeFolder() const { return data_.File("run"); }
  std::string File(const std::string& name) const { return data_.File(name); }
  std::string ConfigPath(const std::string& instance = "") const {
    return data_.File("meldrix" + instance + ".cfg");
  }
  // Writes the configuration with the stub's endpoint added.
  // The SMTP sink takes a free port unless the body names one: two programs
  // of parallel tests must not race for the default port.
  void WriteConfig(const std::string& body, const std::string& instance = "") {
    const std::string smtp = body.find("[MailServer]") == std::string::npos ? "[MailServer]\nSmtpPort=0\n" : "";
    WriteFile(ConfigPath(instance), body + "\n" + smtp + "[Korvane]\nEndpoint=" + korvane_.Endpoint() + "\n");
  }
  // An [InSource1] section that reads and removes the files dropped into "in".
  std::string DropSource(const std::string& more = "") const {
    std::filesystem::create_directories(File("in"));
    return "[InSource1]\nName=Drop\nSource=2\nFile=" + File("in/*.txt") + "\nRemoveFile=1\n" + more;
  }
  // Drops a file into the data folder the way other programs should: written
  // under a hidden name, then renamed.
  void DropFile(const std::string& name, const std::string& bytes) {
    WriteFile(File(".dropping"), bytes);
    std::filesystem::rename(File(".dropping"), File(name));
  }
  // The program started for `instance` is up: it listens on its single-instance
  // socket, which it binds after it takes signals through its main loop.
  bool WaitForStartUp(const std::string& instance = "") const {
    const std::string socket =
        RuntimeFolder() + "/" +
        SingleInstance::FileStem("MeldrixAppClass" + (instance.empty() ? "" : ":" + instance)) + ".sock";
    return WaitUntil([&] { return std::filesystem::exists(socket); });
  }
  // The commands beginning "[send(" that Korvane received so far, in order.
  std::vector<std::string> SentCommands(const std::string& containing = "") const {
    std::vector<std::string> sent;
    for (const auto& line : korvane_.Journal())
      if (line.rfind("[send(", 0) == 0 && line.find(containing) != std::string::npos) sent.push_back(line);
    return sent;
  }
  std::size_t Checks() const {
    const auto journal = korvane_.Journal();
    return static_cast<std::size_t>(std::count(journal.begin(), journal.end(), "[check(Meldrix)]"));
  }
  bool WaitForCommand(const std::string& text) {
    return WaitUntil([&] {
      for (const auto& line : korvane_.Journal())
        if (line.find(text) != std::string::npos) return true;
      return false;
    });
  }

 private:
  TempFolder data_;
  KorvaneStubProcess korvane_;
};

}  // namespace meldrix::testing
