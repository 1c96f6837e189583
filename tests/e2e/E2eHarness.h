// Runs the real meldrix program for end-to-end tests: a temporary data folder
// (MELDRIX_DATA), its own runtime folder for the single-instance lock, a
// Korvane stand-in, pseudo-terminals for serial sources. Children are always
// stopped: SIGTERM, then SIGKILL when they do not end in time.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
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
  void CloseSlaveKeepAlive() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
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

// The program on its data folder, standard output and errors in files there.
class MeldrixProcess : public ChildProcess {
 public:
  MeldrixProcess(const std::string& dataFolder, const std::string& runtimeFolder,
                 std::vector<std::string> arguments, const std::string& logName = "meldrix")
      : ChildProcess(WithProgram(std::move(arguments)), Options(dataFolder, runtimeFolder, logName)),
        out_(dataFolder + "/" + logName + ".out"),
        err_(dataFolder + "/" + logName + ".err") {}

  std::string Output() const { return ReadFile(out_); }
  std::string Errors() const { return ReadFile(err_); }
  bool OutputContains(const std::string& text) const { return Output().find(text) != std::string::npos; }

 private:
  static std::vector<std::string> WithProgram(std::vector<std::string> args) {
    args.insert(args.begin(), MELDRIX_BUILD_DIR "/meldrix");
    return args;
  }
  // Standard input from /dev/null, our environment with the program's folders.
  static ChildOptions Options(const std::string& dataFolder, const std::string& runtimeFolder,
                              const std::string& logName) {
    ChildOptions options;
    options.environment = {"MELDRIX_DATA=" + dataFolder, "MELDRIX_RUNTIME_DIR=" + runtimeFolder,
                           "MELDRIX_DDE_DIR=" + runtimeFolder + "/dde"};
    for (char** e = environ; *e; ++e)
      if (std::string entry = *e; entry.rfind("MELDRIX_DATA=", 0) && entry.rfind("MELDRIX_RUNTIME_DIR=", 0) &&
                                  entry.rfind("MELDRIX_DDE_DIR=", 0))
        options.environment.push_back(entry);
    options.stdoutFile = dataFolder + "/" + logName + ".out";
    options.stderrFile = dataFolder + "/" + logName + ".err";
    options.stdinFromNull = true;
    return options;
  }

  std::string out_, err_;
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
  void WriteConfig(const std::string& body, const std::string& instance = "") {
    WriteFile(ConfigPath(instance), body + "\n[Korvane]\nEndpoint=" + korvane_.Endpoint() + "\n");
  }
  // Drops a file into the data folder the way other programs should: written
  // under a hidden name, then renamed.
  void DropFile(const std::string& name, const std::string& bytes) {
    WriteFile(File(".dropping"), bytes);
    std::filesystem::rename(File(".dropping"), File(name));
  }
  KorvaneStubProcess& Korvane() { return korvane_; }
  const KorvaneStubProcess& Korvane() const { return korvane_; }
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
