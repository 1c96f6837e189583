#include "expr/DataValueStorage.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "expr/ExternalReference.h"
#include "expr/SystemVariables.h"

namespace meldrix {

namespace {

const char kErrorName[] = "$ERROR";

// "DDE('s','t','i')" / "OPC('s','i')" built by concatenation, so every byte of
// the names survives.
std::string CallText(const char* function, const std::string& a, const std::string& b) {
  return std::string(function) + "('" + a + "','" + b + "'";
}
std::string CallText(const char* function, const std::string& a, const std::string& b,
                     const std::string& c) {
  return CallText(function, a, b) + ",'" + c + "')";
}

std::string Hex8(uint32_t code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08" PRIX32, code);
  return buffer;
}

}  // namespace

CDataValueStorage::CDataValueStorage(bool externalReferences, std::shared_ptr<DdeValueAccess> dde,
                                     std::shared_ptr<OpcValueAccess> opc)
    : externalReferences_(externalReferences),
      dde_(dde ? std::move(dde) : std::make_shared<UnavailableDdeAccess>()),
      opc_(opc ? std::move(opc) : std::make_shared<UnavailableOpcAccess>()) {
  values_.reserve(10);
}

std::unique_ptr<CDataValueStorage> CDataValueStorage::MakeSibling() const {
  return std::make_unique<CDataValueStorage>(externalReferences_, dde_, opc_);
}

bool CDataValueStorage::Get(const std::string& name, std::string& value) {
  value.clear();
  if (!name.empty() && name[0] == '$' && ReadSystemVariable(name, value)) return true;
  {
    std::lock_guard lock(mapLock_);
    auto it = values_.find(name);
    if (it != values_.end()) {
      value = it->second;
      return true;
    }
  }
  if (externalReferences_) {
    if (auto dde = ParseDdeReference(name)) return DdeRead(dde->service, dde->topic, dde->item, value);
    if (auto opc = ParseOpcReference(name)) return OpcReadAt(opc->server, opc->node, opc->item, value);
  }
  // A zero byte cannot be part of an environment name.
  if (!name.empty() && name.find('\0') == std::string::npos && name.find('=') == std::string::npos) {
    if (const char* env = std::getenv(name.c_str())) {
      value = env;
      return true;
    }
  }
  return false;
}

void CDataValueStorage::Set(const std::string& name, const std::string& value) {
  std::lock_guard lock(mapLock_);
  values_[name] = value;
}

void CDataValueStorage::SetRouted(const std::string& name, const std::string& value) {
  if (externalReferences_) {
    if (auto dde = ParseDdeReference(name)) {
      DdePoke(dde->service, dde->topic, dde->item, value);
      return;
    }
    if (auto opc = ParseOpcReference(name)) {
      OpcWriteAt(opc->server, opc->node, opc->item, value);
      return;
    }
  }
  Set(name, value);
}

void CDataValueStorage::Remove(const std::string& name) {
  std::lock_guard lock(mapLock_);
  values_.erase(name);
}

void CDataValueStorage::RemoveArray(const std::string& name) { RemoveStartingWith(name + "["); }

void CDataValueStorage::RemoveStartingWith(const std::string& prefix) {
  std::lock_guard lock(mapLock_);
  for (auto it = values_.begin(); it != values_.end();) {
    if (it->first.compare(0, prefix.size(), prefix) == 0)
      it = values_.erase(it);
    else
      ++it;
  }
}

void CDataValueStorage::CopyTo(CDataValueStorage& other) {
  if (&other == this) return;
  std::scoped_lock lock(mapLock_, other.mapLock_);
  for (const auto& [name, value] : values_) other.values_[name] = value;
}

size_t CDataValueStorage::Count() {
  std::lock_guard lock(mapLock_);
  return values_.size();
}

void CDataValueStorage::SetError(const std::string& message) {
  std::lock_guard lock(mapLock_);
  values_[kErrorName] = message;
  lastError_ = message;
}

void CDataValueStorage::ClearError() {
  std::lock_guard lock(mapLock_);
  values_.erase(kErrorName);
  lastError_.clear();
}

std::string CDataValueStorage::LastError() {
  std::lock_guard lock(mapLock_);
  return lastError_;
}

bool CDataValueStorage::DdeRead(const std::string& service, const std::string& topic,
                                const std::string& item, std::string& value) {
  value.clear();
  if (service.empty() || topic.empty() || item.empty()) return false;
  if (dde_->RequestValue(service, topic, item, value)) return true;
  value.clear();
  SetError("Der Wert " + CallText("DDE", service, topic, item) +
           " konnte nicht gelesen werden (" +
           Hex8(dde_->LastDdeError()) + ")");
  return false;
}

bool CDataValueStorage::DdePoke(const std::string& service, const std::string& topic,
                                const std::string& item, const std::string& value) {
  if (service.empty() || topic.empty() || item.empty()) return false;
  if (dde_->PokeValue(service, topic, item, value)) return true;
  SetError("Der Wert " + CallText("DDE", service, topic, item) +
           " konnte nicht gesetzt werden (" +
           Hex8(dde_->LastDdeError()) + ")");
  return false;
}

bool CDataValueStorage::DdeExecute(const std::string& service, const std::string& topic,
                                   const std::string& command) {
  if (service.empty() || topic.empty() || command.empty()) return false;
  if (dde_->ExecuteCommand(service, topic, command)) return true;
  // "ausgeführt" in Windows-1252.
  SetError("Das DDE-Kommando \"" + service + "|" + topic + "(" + command +
           ")\" konnte nicht ausgef\xFChrt werden (" +
           Hex8(dde_->LastDdeError()) + ")");
  return false;
}

bool CDataValueStorage::OpcRead(const std::string& server, const std::string& item,
                                std::string& value) {
  return OpcReadAt(server, "", item, value);
}

bool CDataValueStorage::OpcWrite(const std::string& server, const std::string& item,
                                 const std::string& value) {
  return OpcWriteAt(server, "", item, value);
}

bool CDataValueStorage::OpcReadAt(const std::string& server, const std::string& node,
                                  const std::string& item, std::string& value) {
  value.clear();
  if (opc_->ReadValue(server, node, item, value)) return true;
  value.clear();
  std::string message = "Der Wert " + CallText("OPC", server, item) + ") konnte nicht gelesen werden";
  std::string detail = opc_->LastErrorText();
  if (!detail.empty()) message += ", " + detail;
  SetError(message);
  return false;
}

bool CDataValueStorage::OpcWriteAt(const std::string& server, const std::string& node,
                                   const std::string& item, const std::string& value) {
  if (opc_->WriteValue(server, node, item, value)) return true;
  std::string message = "Der Wert " + CallText("OPC", server, item) + ") konnte nicht gesetzt werden";
  std::string detail = opc_->LastErrorText();
  if (!detail.empty()) message += ", " + detail;
  SetError(message);
  return false;
}

}  // namespace meldrix
