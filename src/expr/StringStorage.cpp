#include "expr/StringStorage.h"

namespace meldrix {

namespace {
const std::string kEmpty;
}

uint32_t CStringStorage::Store(std::string_view text) {
  uint32_t ref = next_++;
  if (next_ == 0) next_ = 1;  // wrap-around skips the "absent" reference
  strings_[ref] = std::string(text);
  return ref;
}

void CStringStorage::Release(uint32_t ref) { strings_.erase(ref); }

const std::string& CStringStorage::Get(uint32_t ref) const {
  auto it = strings_.find(ref);
  return it == strings_.end() ? kEmpty : it->second;
}

}  // namespace meldrix
