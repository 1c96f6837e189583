#include "engine/MailLineQueue.h"

#include <algorithm>
#include <utility>

namespace meldrix {

bool CMailLineQueue::Fits(std::size_t lines, std::size_t bytes) const {
  if (lines > capacity_ - lines_.size()) return false;
  return lines_.empty() || bytes <= maxBytes_ - std::min(bytes_, maxBytes_);
}

bool CMailLineQueue::Append(std::string line) {
  std::lock_guard lock(mutex_);
  if (!Fits(1, line.size())) return false;
  bytes_ += line.size();
  lines_.push_back(std::move(line));
  return true;
}

bool CMailLineQueue::AppendAll(std::vector<std::string> lines) {
  std::size_t bytes = 0;
  for (const auto& line : lines) bytes += line.size();
  std::lock_guard lock(mutex_);
  if (!Fits(lines.size(), bytes)) return false;
  bytes_ += bytes;
  for (auto& line : lines) lines_.push_back(std::move(line));
  return true;
}

std::optional<std::string> CMailLineQueue::TakeOldest() {
  std::lock_guard lock(mutex_);
  if (lines_.empty()) return std::nullopt;
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  bytes_ -= line.size();
  return line;
}

std::size_t CMailLineQueue::Size() const {
  std::lock_guard lock(mutex_);
  return lines_.size();
}

std::size_t CMailLineQueue::Bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

bool CMailLineQueue::Empty() const { return Size() == 0; }

}  // namespace meldrix
