// Owns every string referenced by the value records of one evaluation.
// References are small numbers, so a record that outlives its string (or a
// stale copy of one) reads as the empty string instead of freed memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace meldrix {

class CStringStorage {
 public:
  // Stores a copy and returns its reference (never 0).
  uint32_t Store(std::string_view text);
  // Removes the entry; unknown references are ignored.
  void Release(uint32_t ref);
  // The text of a reference, or the empty string when it is absent.
  const std::string& Get(uint32_t ref) const;
  size_t Count() const { return strings_.size(); }

 private:
  std::unordered_map<uint32_t, std::string> strings_;
  uint32_t next_ = 1;
};

}  // namespace meldrix
