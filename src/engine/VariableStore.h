// What the engine needs of the expression language's variable store: it
// publishes "$MESSAGE", the "$MSGFIELD[n]" fields and "$INPORT" before
// matching, and the SMTP sink publishes the mail's variables. Every access is
// serialised, as other threads set variables too.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace meldrix {

class IVariableStore {
 public:
  virtual ~IVariableStore() = default;
  virtual void SetVariable(const std::string& name, const std::string& value) = 0;
  virtual std::optional<std::string> GetVariable(const std::string& name) = 0;
  // Removes every variable whose name begins with `prefix`.
  virtual void RemoveVariablesStartingWith(const std::string& prefix) = 0;
};

// A plain locked map: the store until the expression language brings its own.
class CMapVariableStore : public IVariableStore {
 public:
  void SetVariable(const std::string& name, const std::string& value) override;
  std::optional<std::string> GetVariable(const std::string& name) override;
  void RemoveVariablesStartingWith(const std::string& prefix) override;
  std::map<std::string, std::string> Snapshot() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;
};

}  // namespace meldrix
