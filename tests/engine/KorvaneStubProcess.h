// Runs the korvane-stub program for a test: a temporary folder holds the
// socket, the journal and the ready file; the stub is stopped with SIGTERM on
// destruction. Usable from any test program (header only).
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace meldrix::testing {

class KorvaneStubProcess {
 public:
  // `endpoint` empty: a Unix socket in the temporary folder. "tcp:127.0.0.1:0"
  // picks a free port; Endpoint() tells which.
  explicit KorvaneStubProcess(std::vector<std::string> extraArgs = {}, std::string endpoint = "")
      : journal_(folder_.File("journal.txt")) {
    if (endpoint.empty()) endpoint = "unix:" + folder_.File("korvane.sock");
    const std::string ready = folder_.File("ready");
    std::vector<std::string> args = {MELDRIX_BUILD_DIR "/korvane-stub", "--endpoint", endpoint,
                                     "--journal", journal_, "--ready-file", ready};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    process_.emplace(args);
    WaitUntil([&] { return process_->WaitForExit(std::chrono::milliseconds(0)) || std::filesystem::exists(ready); },
              std::chrono::seconds(10));
    if (!process_->Running()) throw std::runtime_error("korvane-stub ended at start");
    std::ifstream in(ready);
    std::getline(in, endpoint_);
    if (endpoint_.empty()) {
      Stop();
      throw std::runtime_error("korvane-stub did not get ready");
    }
  }

  const std::string& Endpoint() const { return endpoint_; }
  const TempFolder& Folder() const { return folder_; }

  // The journal's lines as they stand now.
  std::vector<std::string> Journal() const {
    std::vector<std::string> lines;
    std::ifstream in(journal_, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // SIGTERM and wait; the exit status, or -1 when it did not exit normally.
  int Stop() { return process_->Stop().value_or(-1); }

 private:
  TempFolder folder_;
  std::string journal_, endpoint_;
  std::optional<ChildProcess> process_;  // stopped before the folder goes
};

}  // namespace meldrix::testing
