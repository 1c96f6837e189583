#include "dde/DDEServer.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "platform/Cp1252.h"

namespace meldrix {

namespace {

// The process-wide instance table: written only by Create and Shutdown, read
// by every thread looking for its instance.
std::mutex g_tableMutex;
std::array<CDDEServer*, CDDEServer::kMaxInstances> g_table{};

}  // namespace

CDDEServer::CDDEServer() = default;

CDDEServer::~CDDEServer() { Shutdown(); }

CDDEServer* CDDEServer::FindByService(const std::string& service) {
  std::lock_guard lock(g_tableMutex);
  for (CDDEServer* server : g_table)
    if (server && server->m_Initialized && !server->m_ServiceName.empty() &&
        server->m_ServiceName == service)
      return server;
  return nullptr;
}

CDDEServer* CDDEServer::FindByThread() {
  std::lock_guard lock(g_tableMutex);
  for (CDDEServer* server : g_table)
    if (server && server->m_Initialized && server->m_OwnerThread == std::this_thread::get_id())
      return server;
  return nullptr;
}

bool CDDEServer::Create(const std::string& service, std::uint32_t flags,
                        std::uint32_t* instanceId) {
  if (m_Initialized) return false;
  {
    std::lock_guard lock(g_tableMutex);
    for (int i = 0; i < kMaxInstances; ++i) {
      if (!g_table[i]) {
        g_table[i] = this;
        m_Slot = i;
        break;
      }
    }
  }
  if (m_Slot < 0) {
    m_CreateError = "no free DDE instance slot";
    return false;
  }
  // The framework must see connections, requests and disconnects.
  m_Instance = std::make_unique<DdeInstance>(
      [this](const DdeTransaction& t) { return Callback(t); }, flags & ~0x00242000u);
  auto releaseSlot = [this] {
    std::lock_guard lock(g_tableMutex);
    g_table[m_Slot] = nullptr;
    m_Slot = -1;
    m_Instance.reset();
  };
  if (!m_Instance->Initialized()) {
    m_CreateError = m_Instance->InitError();
    releaseSlot();
    return false;
  }
  if (instanceId) *instanceId = m_Instance->Id();
  if (!service.empty()) {
    m_ServiceName = service;
    if (!m_Instance->RegisterService(service)) {
      m_LastDdeError = m_Instance->GetLastError();
      m_CreateError = "cannot register the DDE service " + service;
      m_ServiceName.clear();
      releaseSlot();
      return false;
    }
  }
  m_SystemTopic.Create("System");
  AddTopic(&m_SystemTopic);
  m_Topics_Item.Create("Topics");
  m_SysItems.Create("SysItems");
  m_SystemTopic.AddItem(&m_Topics_Item);
  m_SystemTopic.AddItem(&m_SysItems);
  m_OwnerThread = std::this_thread::get_id();
  m_Initialized = true;
  return OnCreate();
}

void CDDEServer::Shutdown() {
  if (!m_Initialized) return;
  m_ConvCache.Clear();
  while (!m_Conversations.empty()) {
    std::shared_ptr<CDDEConv> conv = m_Conversations.front();
    if (!conv->Disconnect()) std::erase(m_Conversations, conv);
  }
  while (!m_Topics.empty()) RemoveTopic(m_Topics.front());
  if (!m_ServiceName.empty()) m_Instance->UnregisterService(m_ServiceName);
  m_Instance.reset();
  m_Initialized = false;
  std::lock_guard lock(g_tableMutex);
  if (m_Slot >= 0) g_table[m_Slot] = nullptr;
  m_Slot = -1;
}

void CDDEServer::Pump() {
  if (m_Instance) m_Instance->Pump();
}

std::uint32_t CDDEServer::GetLastDdeError() {
  std::uint32_t error = m_Instance ? m_Instance->GetLastError() : DMLERR_DLL_NOT_INITIALIZED;
  if (error != 0) m_LastDdeError = error;
  return error;
}

CDDETopic* CDDEServer::FindTopic(const std::string& name) const {
  for (CDDETopic* topic : m_Topics)
    if (EqualsNoCaseAscii(topic->GetName(), name)) return topic;
  return nullptr;
}

bool CDDEServer::AddTopic(CDDETopic* topic) {
  if (std::find(m_Topics.begin(), m_Topics.end(), topic) == m_Topics.end())
    m_Topics.push_back(topic);
  topic->SetServer(this);
  return true;
}

bool CDDEServer::RemoveTopic(CDDETopic* topic) {
  auto it = std::find(m_Topics.begin(), m_Topics.end(), topic);
  if (it == m_Topics.end()) return false;
  m_Topics.erase(it);
  topic->SetServer(nullptr);
  return true;
}

bool CDDEServer::OnRequest(std::uint16_t format, const std::string& topic,
                           const std::string& item, std::string& data) {
  CDDETopic* found = FindTopic(topic);
  return found && found->OnRequest(format, item, data);
}

bool CDDEServer::OnPoke(std::uint16_t format, const std::string& topic, const std::string& item,
                        const std::string& data) {
  CDDETopic* found = FindTopic(topic);
  return found && found->OnPoke(format, item, data);
}

bool CDDEServer::OnAdviseData(std::uint16_t format, DdeConv conv, const std::string& topic,
                              const std::string& item, const std::string& data) {
  for (const auto& c : m_Conversations)
    if (c->GetHandle() == conv) return c->OnAdviseData(format, topic, item, data);
  return false;
}

bool CDDEServer::OnExecute(const std::string& topic, std::uint16_t format,
                           const std::string& data) {
  CDDETopic* found = FindTopic(topic);
  return found && found->OnExecute(format, data);
}

bool CDDEServer::OnAdviseStart(std::uint16_t format, DdeConv conv, const std::string& topic,
                               const std::string& item) {
  CDDETopic* found = FindTopic(topic);
  return found && found->OnAdviseStart(format, conv, item);
}

bool CDDEServer::OnAdviseStop(DdeConv conv, const std::string& topic, const std::string& item) {
  CDDETopic* found = FindTopic(topic);
  return found && found->OnAdviseStop(conv, item);
}

DdeAnswer CDDEServer::Callback(const DdeTransaction& t) {
  DdeTransaction tx = t;
  if (tx.format == 0) tx.format = CF_TEXT;
  DdeAnswer answer;
  switch (tx.type) {
    case XTYP_CONNECT_CONFIRM:
      m_Conversations.push_back(std::make_shared<CDDEConv>(this, tx.conv, tx.topic));
      return answer;
    case XTYP_DISCONNECT:
      OnDisconnect(tx);
      return answer;
    case XTYP_WILDCONNECT:
      if (!tx.service.empty() && !EqualsNoCaseAscii(tx.service, m_ServiceName)) return answer;
      for (const CDDETopic* topic : m_Topics)
        if (tx.topic.empty() || EqualsNoCaseAscii(topic->GetName(), tx.topic))
          answer.pairs.push_back({m_ServiceName, 0, topic->GetName()});
      return answer;
    case XTYP_EXECUTE:
    case XTYP_POKE:
    case XTYP_ADVDATA:
    case XTYP_ADVSTART:
    case XTYP_ADVSTOP:
    case XTYP_CONNECT:
    case XTYP_ADVREQ:
    case XTYP_REQUEST:
      if (Dispatch(tx, answer)) return answer;
      break;
    default:
      break;
  }
  return OnUnhandledTransaction(tx);
}

bool CDDEServer::Dispatch(const DdeTransaction& t, DdeAnswer& answer) {
  switch (t.type) {
    case XTYP_CONNECT:
      answer.value = FindTopic(t.topic) ? 1 : 0;
      return answer.value != 0;
    case XTYP_EXECUTE:
      if (!OnExecute(t.topic, t.format, t.data)) return false;
      answer.value = DDE_FACK;
      return true;
    case XTYP_ADVSTART:
      if (!OnAdviseStart(t.format, t.conv, t.topic, t.item)) return false;
      answer.value = 1;
      return true;
    case XTYP_ADVSTOP:
      if (!OnAdviseStop(t.conv, t.topic, t.item)) return false;
      answer.value = 1;
      return true;
    case XTYP_REQUEST:
    case XTYP_ADVREQ:
      if (!OnRequest(t.format, t.topic, t.item, answer.data)) return false;
      answer.value = 1;
      return true;
    case XTYP_ADVDATA:
      if (!OnAdviseData(t.format, t.conv, t.topic, t.item, t.data)) return false;
      answer.value = DDE_FACK;
      return true;
    case XTYP_POKE: {
      if (!OnPoke(t.format, t.topic, t.item, t.data)) return false;
      auto info = m_Instance->QueryConvInfo(t.conv);
      if (!info || !(info->status & ST_ISSELF)) m_Instance->PostAdvise(t.topic, t.item);
      answer.value = DDE_FACK;
      return true;
    }
    default:
      return false;
  }
}

void CDDEServer::OnDisconnect(const DdeTransaction& t) {
  auto info = m_Instance->QueryConvInfo(t.conv);
  GetLastDdeError();
  auto it = std::find_if(m_Conversations.begin(), m_Conversations.end(),
                         [&](const auto& c) { return c->GetHandle() == t.conv; });
  if (it == m_Conversations.end()) return;
  std::shared_ptr<CDDEConv> conv = *it;
  conv->Disconnect();
  std::erase(m_Conversations, conv);
  if (!info || !(info->status & ST_ADVISE)) return;
  // The partner's advise loops end with the conversation.
  if (CDDETopic* topic = FindTopic(info->topic)) {
    for (CDDEItem* item : topic->GetItems())
      while (item->RemoveAdvise(t.conv)) {
      }
  }
}

}  // namespace meldrix
