// CDDEConv: one DDE conversation, either opened by this program as a client
// (Connect) or opened by a remote client to one of our services. Lists hold
// conversations by shared pointer: the active list of an instance and the
// cache of client conversations, keyed by (service, topic), compared exactly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/DdeTypes.h"

namespace meldrix {

class CDDEServer;

class CDDEConv : public std::enable_shared_from_this<CDDEConv> {
 public:
  explicit CDDEConv(CDDEServer* owner, DdeConv handle = 0, std::string topic = {});
  // Ends the conversation.
  virtual ~CDDEConv();
  CDDEConv(const CDDEConv&) = delete;
  CDDEConv& operator=(const CDDEConv&) = delete;

  virtual bool Connect(const std::string& service, const std::string& topic);
  // True when a conversation was open and has been ended.
  virtual bool Disconnect();
  // Data of a running advise loop; the base takes nothing.
  virtual bool OnAdviseData(std::uint16_t format, const std::string& topic,
                            const std::string& item, const std::string& data);
  virtual bool RequestString(const std::string& item, std::string& value);
  virtual bool Request(const std::string& item, std::string& data, std::uint16_t format);
  virtual bool AdviseStart(const std::string& item);
  virtual bool AdviseStop(const std::string& item);
  virtual bool Execute(const std::string& command);
  // CF_TEXT first, then CF_UNICODETEXT; true when either was accepted.
  virtual bool PokeString(const std::string& item, const std::string& value);
  virtual bool Poke(std::uint16_t format, const std::string& item, const std::string& data);

  DdeConv GetHandle() const { return m_Handle; }
  const std::string& GetService() const { return m_Service; }
  const std::string& GetTopic() const { return m_Topic; }
  CDDEServer* GetOwner() const { return m_Owner; }
  // The remote client's topic for a conversation opened to our service.
  const std::string& GetServerTopic() const { return m_ServerTopic; }

 private:
  bool Transaction(std::uint16_t type, const std::string& item, std::uint16_t format,
                   const std::string& data, std::string* result = nullptr);

  CDDEServer* m_Owner;
  DdeConv m_Handle;
  std::string m_ServerTopic;
  std::string m_Service;
  std::string m_Topic;
};

using CDDEConvList = std::vector<std::shared_ptr<CDDEConv>>;

class CDDEConvCache {
 public:
  std::shared_ptr<CDDEConv> Find(const std::string& service, const std::string& topic) const;
  void Add(std::shared_ptr<CDDEConv> conv) { m_Entries.push_back(std::move(conv)); }
  void Remove(const CDDEConv* conv);
  // Disconnects and drops every entry.
  void Clear();
  std::size_t Size() const { return m_Entries.size(); }

 private:
  std::vector<std::shared_ptr<CDDEConv>> m_Entries;
};

// One-shot access with the conversation cache. The instance is the one
// registered under `service` when the calling thread owns it, else the
// calling thread's instance, else a temporary client-only one. On a false
// result the chosen instance's last DDE error (see DdeOneShotError) says why.
bool DDERequestValue(const std::string& service, const std::string& topic,
                     const std::string& item, std::string& value);
bool DDEPokeValue(const std::string& service, const std::string& topic, const std::string& item,
                  const std::string& value);
bool DDEExecuteCommand(const std::string& service, const std::string& topic,
                       const std::string& command);
// The last DDE error of the instance the calling thread's last one-shot call
// used (reset to 0 at the start of each call).
std::uint32_t DdeOneShotError();

}  // namespace meldrix
