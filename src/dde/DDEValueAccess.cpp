#include "dde/DDEValueAccess.h"

namespace meldrix {

void CDDEValueAccess::EnsureInstance() {
  if (CDDEServer::FindByThread()) return;
  std::lock_guard lock(mutex_);
  // One instance of our own, bound to the first thread that needs one; other
  // threads get a temporary instance per call.
  if (client_) return;
  auto client = std::make_unique<CDDEServer>();
  if (client->Create({}, APPCMD_CLIENTONLY)) client_ = std::move(client);
}

bool CDDEValueAccess::RequestValue(const std::string& service, const std::string& topic,
                                   const std::string& item, std::string& value) {
  EnsureInstance();
  return DDERequestValue(service, topic, item, value);
}

bool CDDEValueAccess::PokeValue(const std::string& service, const std::string& topic,
                                const std::string& item, const std::string& value) {
  EnsureInstance();
  return DDEPokeValue(service, topic, item, value);
}

bool CDDEValueAccess::ExecuteCommand(const std::string& service, const std::string& topic,
                                     const std::string& command) {
  EnsureInstance();
  return DDEExecuteCommand(service, topic, command);
}

}  // namespace meldrix
