#include "engine/VariableStore.h"

namespace meldrix {

void CMapVariableStore::SetVariable(const std::string& name, const std::string& value) {
  std::lock_guard lock(mutex_);
  values_[name] = value;
}

std::optional<std::string> CMapVariableStore::GetVariable(const std::string& name) {
  std::lock_guard lock(mutex_);
  auto found = values_.find(name);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

void CMapVariableStore::RemoveVariablesStartingWith(const std::string& prefix) {
  std::lock_guard lock(mutex_);
  // Names are sorted, so those with the prefix form one run.
  auto it = values_.lower_bound(prefix);
  while (it != values_.end() && it->first.compare(0, prefix.size(), prefix) == 0)
    it = values_.erase(it);
}

std::map<std::string, std::string> CMapVariableStore::Snapshot() const {
  std::lock_guard lock(mutex_);
  return values_;
}

}  // namespace meldrix
