#include "dde/DDEConv.h"

#include <algorithm>

#include "dde/DDEServer.h"
#include "platform/Cp1252.h"

namespace meldrix {

CDDEConv::CDDEConv(CDDEServer* owner, DdeConv handle, std::string topic)
    : m_Owner(owner), m_Handle(handle), m_ServerTopic(std::move(topic)) {}

CDDEConv::~CDDEConv() {
  if (m_Handle != 0 && m_Owner && m_Owner->Instance()) m_Owner->Instance()->Disconnect(m_Handle);
  m_Handle = 0;
}

bool CDDEConv::Connect(const std::string& service, const std::string& topic) {
  if (!m_Owner || !m_Owner->Instance() || service.empty() || topic.empty()) return false;
  // Windows first makes sure no top-level window hangs before it broadcasts
  // the connect; here the connect goes to the service's sockets directly and
  // is bounded by the transaction timeout.
  m_Handle = m_Owner->Instance()->Connect(service, topic);
  if (m_Handle == 0) {
    // Recorded, so the caller's message names the real cause.
    m_Owner->GetLastDdeError();
    return false;
  }
  m_Service = service;
  m_Topic = topic;
  m_Owner->GetActiveConversations().push_back(shared_from_this());
  return true;
}

bool CDDEConv::Disconnect() {
  if (m_Handle == 0) return false;
  if (m_Owner && m_Owner->Instance()) m_Owner->Instance()->Disconnect(m_Handle);
  m_Handle = 0;
  if (m_Owner) {
    auto& list = m_Owner->GetActiveConversations();
    auto it = std::find_if(list.begin(), list.end(), [this](const auto& c) { return c.get() == this; });
    if (it != list.end()) {
      std::shared_ptr<CDDEConv> keep = *it;  // the list's reference ends after the erase
      list.erase(it);
    }
  }
  return true;
}

bool CDDEConv::OnAdviseData(std::uint16_t, const std::string&, const std::string&,
                            const std::string&) {
  return false;
}

bool CDDEConv::Transaction(std::uint16_t type, const std::string& item, std::uint16_t format,
                           const std::string& data, std::string* result) {
  if (!m_Owner || !m_Owner->Instance()) return false;
  bool ok = m_Owner->Instance()->ClientTransaction(m_Handle, type, item, format, data,
                                                   m_Owner->GetTimeout(), result);
  return m_Owner->GetLastDdeError() == 0 && ok;
}

bool CDDEConv::Request(const std::string& item, std::string& data, std::uint16_t format) {
  if (!m_Owner || item.empty()) return false;
  data.clear();
  return Transaction(XTYP_REQUEST, item, format, {}, &data);
}

bool CDDEConv::RequestString(const std::string& item, std::string& value) {
  std::string data;
  if (!Request(item, data, CF_TEXT)) return false;
  value = data.substr(0, data.find('\0'));
  return true;
}

bool CDDEConv::Poke(std::uint16_t format, const std::string& item, const std::string& data) {
  if (!m_Owner || item.empty()) return false;
  return Transaction(XTYP_POKE, item, format, data);
}

bool CDDEConv::PokeString(const std::string& item, const std::string& value) {
  if (Poke(CF_TEXT, item, DdeTextData(value, CF_TEXT))) return true;
  return Poke(CF_UNICODETEXT, item, DdeTextData(value, CF_UNICODETEXT));
}

bool CDDEConv::Execute(const std::string& command) {
  if (!m_Owner) return false;
  return Transaction(XTYP_EXECUTE, {}, CF_TEXT, DdeTextData(command, CF_TEXT));
}

bool CDDEConv::AdviseStart(const std::string& item) {
  return Transaction(XTYP_ADVSTART, item, CF_TEXT, {});
}

bool CDDEConv::AdviseStop(const std::string& item) {
  return Transaction(XTYP_ADVSTOP, item, CF_TEXT, {});
}

std::shared_ptr<CDDEConv> CDDEConvCache::Find(const std::string& service,
                                              const std::string& topic) const {
  for (const auto& conv : m_Entries)
    if (conv->GetService() == service && conv->GetTopic() == topic) return conv;
  return nullptr;
}

void CDDEConvCache::Remove(const CDDEConv* conv) {
  std::erase_if(m_Entries, [conv](const auto& c) { return c.get() == conv; });
}

void CDDEConvCache::Clear() {
  std::vector<std::shared_ptr<CDDEConv>> entries;
  entries.swap(m_Entries);
  for (const auto& conv : entries) conv->Disconnect();
}

// ---- one-shot access ----

namespace {

thread_local std::uint32_t t_oneShotError = 0;

// How one operation of a one-shot call went on an open conversation. An
// answer without bytes is no value, but the conversation itself works.
enum class Outcome { Done, NoValue, Failed };
using Operation = Outcome (*)(CDDEConv&, const std::string& item, std::string& value);

Outcome DoRequest(CDDEConv& conv, const std::string& item, std::string& value) {
  std::string data;
  if (!conv.Request(item, data, CF_TEXT)) return Outcome::Failed;
  if (data.empty()) return Outcome::NoValue;
  value = data.substr(0, data.find('\0'));
  return conv.GetOwner()->GetLastDdeError() == 0 ? Outcome::Done : Outcome::Failed;
}

Outcome DoPoke(CDDEConv& conv, const std::string& item, std::string& value) {
  return conv.PokeString(item, value) ? Outcome::Done : Outcome::Failed;
}

Outcome DoExecute(CDDEConv& conv, const std::string& command, std::string&) {
  return conv.Execute(command) && conv.GetOwner()->GetLastDdeError() == 0 ? Outcome::Done
                                                                          : Outcome::Failed;
}

bool OneShotOn(CDDEServer& server, const std::string& service, const std::string& topic,
               const std::string& item, std::string& value, Operation operation) {
  server.ResetLastDdeError();
  if (auto cached = server.GetConvCache().Find(service, topic)) {
    Outcome outcome = operation(*cached, item, value);
    if (outcome != Outcome::Failed) return outcome == Outcome::Done;
    // The partner may have ended it meanwhile: drop it and connect anew.
    cached->Disconnect();
    server.GetConvCache().Remove(cached.get());
  }
  auto conv = std::make_shared<CDDEConv>(&server);
  if (!conv->Connect(service, topic)) return false;
  Outcome outcome = operation(*conv, item, value);
  if (outcome == Outcome::Failed) {
    conv->Disconnect();
    return false;
  }
  server.GetConvCache().Add(conv);
  return outcome == Outcome::Done;
}

bool OneShot(const std::string& service, const std::string& topic, const std::string& item,
             std::string& value, Operation operation, bool byService) {
  t_oneShotError = 0;
  CDDEServer* server = byService ? CDDEServer::FindByService(service) : nullptr;
  // An instance answers only on its own thread.
  if (server && server->GetOwnerThread() != std::this_thread::get_id()) server = nullptr;
  if (!server) server = CDDEServer::FindByThread();
  if (server) {
    bool ok = OneShotOn(*server, service, topic, item, value, operation);
    t_oneShotError = server->LastDdeError();
    return ok;
  }
  CDDEServer temporary;
  if (!temporary.Create({}, APPCMD_CLIENTONLY)) {
    t_oneShotError = DMLERR_DLL_NOT_INITIALIZED;
    return false;
  }
  bool ok = OneShotOn(temporary, service, topic, item, value, operation);
  t_oneShotError = temporary.LastDdeError();
  return ok;
}

}  // namespace

bool DDERequestValue(const std::string& service, const std::string& topic,
                     const std::string& item, std::string& value) {
  std::string result;
  if (!OneShot(service, topic, item, result, DoRequest, true)) return false;
  value = result;
  return true;
}

bool DDEPokeValue(const std::string& service, const std::string& topic, const std::string& item,
                  const std::string& value) {
  std::string copy = value;
  return OneShot(service, topic, item, copy, DoPoke, true);
}

bool DDEExecuteCommand(const std::string& service, const std::string& topic,
                       const std::string& command) {
  std::string unused;
  return OneShot(service, topic, command, unused, DoExecute, false);
}

std::uint32_t DdeOneShotError() { return t_oneShotError; }

}  // namespace meldrix
