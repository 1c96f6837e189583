// What the engine and its sources need of the expression variables: the
// engine publishes "$MESSAGE", the "$MSGFIELD[n]" fields and "$INPORT" before
// matching, and the SMTP sink publishes the mail's variables. The values live
// in the document's expression store, which serialises every access, as other
// threads set variables too.
#pragma once

#include <optional>
#include <string>

namespace meldrix {

class CDataValueStorage;

class IVariableStore {
 public:
  virtual ~IVariableStore() = default;
  virtual void SetVariable(const std::string& name, const std::string& value) = 0;
  virtual std::optional<std::string> GetVariable(const std::string& name) = 0;
  // Removes every variable whose name begins with `prefix`.
  virtual void RemoveVariablesStartingWith(const std::string& prefix) = 0;
  // The store the expressions evaluate against.
  virtual CDataValueStorage& Storage() = 0;
};

// The variables over an expression store: what is set here is what the
// expressions of message texts and receivers read.
class CDataValueVariableStore : public IVariableStore {
 public:
  explicit CDataValueVariableStore(CDataValueStorage& storage) : storage_(storage) {}
  // Names in the DDE or OPC reference forms reach those items.
  void SetVariable(const std::string& name, const std::string& value) override;
  // System variables and the environment are read as the expressions see them.
  std::optional<std::string> GetVariable(const std::string& name) override;
  void RemoveVariablesStartingWith(const std::string& prefix) override;
  CDataValueStorage& Storage() override { return storage_; }

 private:
  CDataValueStorage& storage_;
};

}  // namespace meldrix
