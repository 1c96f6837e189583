// CDDEServer: one DDE instance of the exchange layer. It may register a
// service name, owns a list of topics (each a list of items) plus the System
// topic, dispatches every transaction to the right topic, item or
// conversation, and is the instance that client conversations run on.
//
// An instance belongs to the thread that created it; its owner pumps it
// (Pump() when Descriptor() is readable). A process holds at most 20.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dde/DDEConv.h"
#include "dde/DDETopic.h"
#include "platform/DdeInstance.h"

namespace meldrix {

class CDDEServer {
 public:
  static constexpr int kMaxInstances = DdeInstance::kMaxInstances;

  CDDEServer();
  virtual ~CDDEServer();
  CDDEServer(const CDDEServer&) = delete;
  CDDEServer& operator=(const CDDEServer&) = delete;

  // Takes a slot, initialises the instance (registering `service` when not
  // empty) and builds the System topic. The result is OnCreate().
  bool Create(const std::string& service = {}, std::uint32_t flags = 0,
              std::uint32_t* instanceId = nullptr);
  void Shutdown();

  virtual bool OnCreate() { return true; }
  // The instance's pending error; a non-zero one is kept as the last error.
  virtual std::uint32_t GetLastDdeError();
  virtual DdeAnswer OnUnhandledTransaction(const DdeTransaction&) { return {}; }
  virtual bool OnRequest(std::uint16_t format, const std::string& topic, const std::string& item,
                         std::string& data);
  virtual bool OnPoke(std::uint16_t format, const std::string& topic, const std::string& item,
                      const std::string& data);
  virtual bool OnAdviseData(std::uint16_t format, DdeConv conv, const std::string& topic,
                            const std::string& item, const std::string& data);
  virtual bool OnExecute(const std::string& topic, std::uint16_t format, const std::string& data);
  virtual bool AddTopic(CDDETopic* topic);
  virtual bool RemoveTopic(CDDETopic* topic);
  virtual bool OnAdviseStart(std::uint16_t format, DdeConv conv, const std::string& topic,
                             const std::string& item);
  virtual bool OnAdviseStop(DdeConv conv, const std::string& topic, const std::string& item);
  virtual CDDETopic& GetSystemTopic() { return m_SystemTopic; }

  CDDETopic* FindTopic(const std::string& name) const;
  const std::vector<CDDETopic*>& GetTopics() const { return m_Topics; }

  bool IsInitialized() const { return m_Initialized; }
  std::uint32_t GetInstanceId() const { return m_Instance ? m_Instance->Id() : 0; }
  DdeInstance* Instance() const { return m_Instance.get(); }
  const std::string& GetServiceName() const { return m_ServiceName; }
  std::thread::id GetOwnerThread() const { return m_OwnerThread; }
  std::uint32_t GetTimeout() const { return m_Timeout; }
  std::uint32_t LastDdeError() const { return m_LastDdeError; }
  void ResetLastDdeError() { m_LastDdeError = 0; }
  // Why Create failed, for the caller's message.
  const std::string& CreateError() const { return m_CreateError; }

  // For the owner's event loop.
  int Descriptor() const { return m_Instance ? m_Instance->Descriptor() : -1; }
  void Pump();

  CDDEConvList& GetActiveConversations() { return m_Conversations; }
  CDDEConvCache& GetConvCache() { return m_ConvCache; }

  // The initialised instance whose service name equals `service` exactly, or
  // null.
  static CDDEServer* FindByService(const std::string& service);
  // The first initialised instance owned by the calling thread, or null.
  static CDDEServer* FindByThread();

 private:
  DdeAnswer Callback(const DdeTransaction& t);
  bool Dispatch(const DdeTransaction& t, DdeAnswer& answer);
  void OnDisconnect(const DdeTransaction& t);

  std::vector<CDDETopic*> m_Topics;  // not owned
  CDDEConvCache m_ConvCache;
  std::thread::id m_OwnerThread;
  std::unique_ptr<DdeInstance> m_Instance;
  std::uint32_t m_Timeout = kDdeTimeoutMs;
  std::uint32_t m_LastDdeError = 0;
  std::string m_ServiceName;
  CDDEConvList m_Conversations;
  bool m_Initialized = false;
  CDDEServerSystemTopic m_SystemTopic;
  int m_Slot = -1;
  CDDESystemItem_TopicList m_Topics_Item;
  CDDESystemItem_ItemList m_SysItems;
  std::string m_CreateError;
};

}  // namespace meldrix
