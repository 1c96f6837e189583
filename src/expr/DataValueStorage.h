// The variable store of the expression language: a map from name to text that
// lives as long as the engine, plus the system variables ($TIME ... $YEAR), the
// routing of DDE and OPC reference names, and the last error ("$ERROR").
//
// Two locks: the evaluation lock, held by the evaluation services for a whole
// evaluation, and the map lock, held around each single map access. The order
// is always evaluation lock, then map lock. Both are recursive, so a thread
// that holds them may take them again.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "expr/ExternalAccess.h"

namespace meldrix {

class CDataValueStorage {
 public:
  // With externalReferences set, names in the DDE or OPC reference forms are
  // routed to those layers; without access objects they fail like a
  // connection that cannot be established.
  explicit CDataValueStorage(bool externalReferences = true,
                             std::shared_ptr<DdeValueAccess> dde = nullptr,
                             std::shared_ptr<OpcValueAccess> opc = nullptr);
  CDataValueStorage(const CDataValueStorage&) = delete;
  CDataValueStorage& operator=(const CDataValueStorage&) = delete;

  std::recursive_mutex& EvaluationLock() { return evaluationLock_; }

  // System variable, map entry, DDE/OPC reference, process environment, in
  // that order. Returns false (value empty) when nothing has the name.
  bool Get(const std::string& name, std::string& value);
  // Stores the text under the name; no routing, no "$" check.
  void Set(const std::string& name, const std::string& value);
  // Like Set, but DDE and OPC reference names are written to their items.
  // This is how the engine publishes "$MESSAGE", "$MSGFIELD[n]", "$INPORT".
  void SetRouted(const std::string& name, const std::string& value);
  void Remove(const std::string& name);
  // Removes every entry whose name begins with name + "[".
  void RemoveArray(const std::string& name);
  // Removes every entry whose name begins with prefix.
  void RemoveStartingWith(const std::string& prefix);
  void CopyTo(CDataValueStorage& other);
  size_t Count();

  // "$ERROR" and the last error text.
  void SetError(const std::string& message);
  void ClearError();
  std::string LastError();

  // External values; failures set "$ERROR" with the system's messages, an
  // empty service, topic, item or command fails without a message.
  bool DdeRead(const std::string& service, const std::string& topic, const std::string& item,
               std::string& value);
  bool DdePoke(const std::string& service, const std::string& topic, const std::string& item,
               const std::string& value);
  bool DdeExecute(const std::string& service, const std::string& topic,
                  const std::string& command);
  bool OpcRead(const std::string& server, const std::string& item, std::string& value);
  bool OpcWrite(const std::string& server, const std::string& item, const std::string& value);

  bool ExternalReferences() const { return externalReferences_; }
  // A store with the same external access and no variables (EVAL works on
  // such a copy).
  std::unique_ptr<CDataValueStorage> MakeSibling() const;

 private:
  bool OpcReadAt(const std::string& server, const std::string& node, const std::string& item,
                 std::string& value);
  bool OpcWriteAt(const std::string& server, const std::string& node, const std::string& item,
                  const std::string& value);

  std::recursive_mutex evaluationLock_;
  std::recursive_mutex mapLock_;
  std::unordered_map<std::string, std::string> values_;
  std::string lastError_;
  bool externalReferences_;
  std::shared_ptr<DdeValueAccess> dde_;
  std::shared_ptr<OpcValueAccess> opc_;
};

}  // namespace meldrix
