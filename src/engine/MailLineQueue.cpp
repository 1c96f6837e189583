#include "engine/MailLineQueue.h"

#include <utility>

namespace meldrix {

bool CMailLineQueue::Append(std::string line) {
  std::lock_guard lock(mutex_);
  if (lines_.size() >= capacity_) return false;
  lines_.push_back(std::move(line));
  return true;
}

bool CMailLineQueue::AppendAll(std::vector<std::string> lines) {
  std::lock_guard lock(mutex_);
  if (lines.size() > capacity_ - lines_.size()) return false;
  for (auto& line : lines) lines_.push_back(std::move(line));
  return true;
}

std::optional<std::string> CMailLineQueue::TakeOldest() {
  std::lock_guard lock(mutex_);
  if (lines_.empty()) return std::nullopt;
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

std::size_t CMailLineQueue::Size() const {
  std::lock_guard lock(mutex_);
  return lines_.size();
}

bool CMailLineQueue::Empty() const { return Size() == 0; }

}  // namespace meldrix
