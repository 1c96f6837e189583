// A DDEML-like exchange instance over Unix stream sockets. An instance may
// register service names (each listens on its own socket in the runtime
// folder), opens client conversations to services of any process of the same
// user, and runs transactions: execute, request, poke, advise start/stop and
// the advise data a server posts.
//
// The instance belongs to the thread that made it. Its callback runs on that
// thread only: in Pump(), which the owner calls when Descriptor() becomes
// readable, and while a synchronous client transaction of that thread waits
// for its answer (so a conversation with the own service works). A wait never
// lasts longer than the transaction's timeout.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DdeRuntimeFolder.h"
#include "platform/DdeTypes.h"

namespace meldrix {

// What the callback is asked. For a server transaction `service` and `topic`
// are those of the conversation; for advise data on a client conversation
// they are the partner's.
struct DdeTransaction {
  std::uint16_t type = 0;
  std::uint16_t format = CF_TEXT;
  DdeConv conv = 0;
  std::string service;
  std::string topic;
  std::string item;
  std::string data;
};

// The callback's answer: `value` is the truth value (connect, advise start
// and stop), the acknowledgement flags (execute, poke, advise data), or
// non-zero when `data` holds the requested data (request, advise request).
// A wild connect answers with `pairs`.
struct DdeAnswer {
  std::uint32_t value = 0;
  std::string data;
  std::vector<DdeServiceTopic> pairs;
};

using DdeCallback = std::function<DdeAnswer(const DdeTransaction&)>;

struct DdeConvInfo {
  std::string service;
  std::string topic;
  std::uint32_t status = 0;  // ST_ADVISE, ST_ISSELF
  bool client = false;
  std::vector<std::string> adviseItems;  // server side: items with advise loops
};

class DdeInstance {
 public:
  static constexpr int kMaxInstances = 20;

  // Check Initialized(); a 21st instance or an unusable runtime folder fails
  // (InitError() then says why).
  DdeInstance(DdeCallback callback, std::uint32_t flags);
  ~DdeInstance();
  DdeInstance(const DdeInstance&) = delete;
  DdeInstance& operator=(const DdeInstance&) = delete;

  bool Initialized() const { return epollFd_ >= 0; }
  const std::string& InitError() const { return initError_; }
  std::uint32_t Id() const { return id_; }

  // Readable whenever something waits for Pump().
  int Descriptor() const { return epollFd_; }
  // Handles everything that waits, without blocking.
  void Pump();

  // Registers or unregisters a service name of this process.
  bool RegisterService(const std::string& service);
  bool UnregisterService(const std::string& service);
  // The socket path of a registered service, empty when not registered.
  std::string ServiceSocket(const std::string& service) const;

  // Opens a conversation with the first process serving `service` (or
  // "service@pid") that accepts `topic`; 0 with DMLERR_NO_CONV_ESTABLISHED.
  DdeConv Connect(const std::string& service, const std::string& topic);
  // Ends the conversation; the partner sees XTYP_DISCONNECT.
  bool Disconnect(DdeConv conv);
  // Every (service, topic) that the servers of `service` (all when empty)
  // offer for `topic` (all when empty).
  std::vector<DdeServiceTopic> WildConnect(const std::string& service, const std::string& topic);

  // A synchronous transaction on a client conversation. For XTYP_REQUEST the
  // data arrives in `result`. False with the last error set when the partner
  // refused (DMLERR_NOTPROCESSED, DMLERR_BUSY), the time-out passed or the
  // conversation ended.
  bool ClientTransaction(DdeConv conv, std::uint16_t type, const std::string& item,
                         std::uint16_t format, const std::string& data, std::uint32_t timeoutMs,
                         std::string* result = nullptr);

  // Asks the callback (XTYP_ADVREQ) for the value of every advise loop on
  // topic/item and sends it to the advising clients.
  bool PostAdvise(const std::string& topic, const std::string& item);

  std::optional<DdeConvInfo> QueryConvInfo(DdeConv conv) const;

  // The last error, cleared by the call (as DdeGetLastError).
  std::uint32_t GetLastError();

  // String handles: case-insensitive atoms, reference counted.
  DdeStringHandle CreateStringHandle(const std::string& text);
  std::optional<std::string> QueryString(DdeStringHandle handle) const;
  bool FreeStringHandle(DdeStringHandle handle);

 private:
  struct Connection;
  struct Listener;
  using ConnectionPtr = std::shared_ptr<Connection>;

  void ProcessEvents(int timeoutMs);
  void Accept(Listener& listener);
  void ReadFrom(const ConnectionPtr& conn);
  void HandleFrame(const ConnectionPtr& conn, struct DdeFrame& frame);
  void HandleHello(const ConnectionPtr& conn, DdeFrame& frame);
  void HandleServerTransaction(const ConnectionPtr& conn, DdeFrame& frame);
  bool Send(const ConnectionPtr& conn, const DdeFrame& frame);
  void Close(const ConnectionPtr& conn, bool notify);
  DdeAnswer Call(const DdeTransaction& t);
  std::optional<DdeFrame> WaitReply(const ConnectionPtr& conn, std::uint32_t seq,
                                    std::uint32_t timeoutMs);
  ConnectionPtr Find(DdeConv conv) const;
  int ConnectSocket(const std::string& path);
  // A transaction of the callback on an established conversation.
  static DdeTransaction OnConversation(const Connection& conn, std::uint16_t type, std::uint16_t format,
                                       std::string item);
  // A connection on `fd`, registered and watched.
  ConnectionPtr AddConnection(int fd, const std::string& service, bool client);
  // A client connection to one listed socket, watched; null when it cannot connect.
  ConnectionPtr OpenClient(const DdeSocketEntry& entry);
  std::string Identity() const;

  DdeCallback callback_;
  std::uint32_t flags_;
  std::uint32_t id_ = 0;
  int slot_ = -1;
  int epollFd_ = -1;
  std::string folder_;
  std::string initError_;
  std::uint32_t lastError_ = 0;
  std::uint32_t nextSeq_ = 1;
  DdeConv nextConv_ = 1;
  std::map<std::string, std::unique_ptr<Listener>> listeners_;  // by service
  std::map<DdeConv, ConnectionPtr> connections_;
  struct Atom {
    std::string text;
    int refs = 0;
  };
  std::map<DdeStringHandle, Atom> atoms_;
  DdeStringHandle nextAtom_ = 1;
};

}  // namespace meldrix
