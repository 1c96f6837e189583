// An in-memory Korvane for engine tests: records every command and answers
// like korvane-stub (job numbers for sends, "1" for checks, "0" otherwise)
// unless a fixed reply or a failure code is set.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/Korvane.h"

namespace meldrix {

class FakeKorvane : public IKorvane {
 public:
  KorvaneResult Execute(std::string_view command) override;

  // Every later command gets this reply (nullopt: the stub's answers again).
  void SetReply(std::optional<std::string> reply);
  // Every later command fails with this code (0: no failure); the command is
  // not recorded, as it never reached Korvane.
  void SetFailure(std::uint32_t hr);
  // Replies to the GetValue commands.
  void SetReceivers(std::string receivers, std::string groups = "");
  std::vector<std::string> Commands() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
  std::optional<std::string> reply_;
  std::uint32_t failure_ = 0;
  std::string receivers_, groups_;
  unsigned long job_ = 0;
};

}  // namespace meldrix
