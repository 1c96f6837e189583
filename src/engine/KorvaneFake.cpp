#include "engine/KorvaneFake.h"

#include "engine/KorvaneReply.h"

namespace meldrix {

KorvaneResult FakeKorvane::Execute(std::string_view command) {
  std::lock_guard lock(mutex_);
  KorvaneResult result;
  if (failure_) {
    result.hr = failure_;
    return result;
  }
  commands_.emplace_back(command);
  if (reply_)
    result.reply = *reply_;
  else if (command.starts_with("[send("))
    result.reply = std::to_string(++job_);
  else if (command.starts_with("[check("))
    result.reply = "1";
  else if (command == kKorvaneGetReceiversCommand)
    result.reply = receivers_;
  else if (command == kKorvaneGetGroupsCommand)
    result.reply = groups_;
  else
    result.reply = "0";
  return result;
}

void FakeKorvane::SetReply(std::optional<std::string> reply) {
  std::lock_guard lock(mutex_);
  reply_ = std::move(reply);
}

void FakeKorvane::SetFailure(std::uint32_t hr) {
  std::lock_guard lock(mutex_);
  failure_ = hr;
}

void FakeKorvane::SetReceivers(std::string receivers, std::string groups) {
  std::lock_guard lock(mutex_);
  receivers_ = std::move(receivers);
  groups_ = std::move(groups);
}

std::vector<std::string> FakeKorvane::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

}  // namespace meldrix
