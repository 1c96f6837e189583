#include "engine/VariableStore.h"

#include "expr/DataValueStorage.h"

namespace meldrix {

void CDataValueVariableStore::SetVariable(const std::string& name, const std::string& value) {
  storage_.SetRouted(name, value);
}

std::optional<std::string> CDataValueVariableStore::GetVariable(const std::string& name) {
  std::string value;
  if (!storage_.Get(name, value)) return std::nullopt;
  return value;
}

void CDataValueVariableStore::RemoveVariablesStartingWith(const std::string& prefix) {
  storage_.RemoveStartingWith(prefix);
}

}  // namespace meldrix
