#include "platform/DdeInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "platform/Cp1252.h"
#include "platform/DdeFrame.h"
#include "platform/DdeRuntimeFolder.h"

namespace meldrix {

namespace {

constexpr std::uint64_t kListenerTag = 1ull << 63;

// The 20 instance slots of the process.
std::mutex g_slotMutex;
std::array<bool, DdeInstance::kMaxInstances> g_slots{};
std::atomic<std::uint32_t> g_nextInstanceId{1};

std::uint32_t TimeoutError(std::uint16_t type) {
  switch (type) {
    case XTYP_EXECUTE: return DMLERR_EXECACKTIMEOUT;
    case XTYP_POKE: return DMLERR_POKEACKTIMEOUT;
    case XTYP_ADVSTART: return DMLERR_ADVACKTIMEOUT;
    case XTYP_ADVSTOP: return DMLERR_UNADVACKTIMEOUT;
    default: return DMLERR_DATAACKTIMEOUT;
  }
}

bool ValidServiceName(const std::string& service) {
  return !service.empty() && service.size() <= 200 &&
         service.find_first_of(std::string("/\0", 2)) == std::string::npos &&
         SplitServiceAddress(service).second == 0;
}

sockaddr_un UnixAddress(const std::string& path, bool& ok) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ok = path.size() < sizeof(addr.sun_path);
  if (ok) std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return addr;
}

}  // namespace

struct DdeInstance::Listener {
  std::uint64_t key = 0;
  int fd = -1;
  std::string service;
  std::string path;
};

struct DdeInstance::Connection {
  DdeConv id = 0;
  int fd = -1;
  bool client = false;
  bool established = false;  // the connect was accepted
  bool isSelf = false;
  std::string service;
  std::string topic;
  std::string inbox;
  std::map<std::uint32_t, DdeFrame> replies;
  struct Advise {
    std::string item;
    std::uint16_t format;
  };
  std::vector<Advise> advises;  // server side: running advise loops
  std::vector<std::string> clientAdvises;  // client side: started loops
};

DdeInstance::DdeInstance(DdeCallback callback, std::uint32_t flags)
    : callback_(std::move(callback)), flags_(flags) {
  {
    std::lock_guard lock(g_slotMutex);
    for (int i = 0; i < kMaxInstances; ++i) {
      if (!g_slots[i]) {
        g_slots[i] = true;
        slot_ = i;
        break;
      }
    }
  }
  if (slot_ < 0) {
    initError_ = "no free DDE instance slot";
    return;
  }
  auto folder = PrepareDdeRuntimeFolder(initError_);
  if (!folder) {
    std::lock_guard lock(g_slotMutex);
    g_slots[slot_] = false;
    slot_ = -1;
    return;
  }
  folder_ = *folder;
  epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  if (epollFd_ < 0) {
    initError_ = std::string("epoll: ") + std::strerror(errno);
    std::lock_guard lock(g_slotMutex);
    g_slots[slot_] = false;
    slot_ = -1;
    return;
  }
  id_ = g_nextInstanceId.fetch_add(1);
}

DdeInstance::~DdeInstance() {
  while (!connections_.empty()) {
    ConnectionPtr conn = connections_.begin()->second;
    Close(conn, false);
  }
  while (!listeners_.empty()) UnregisterService(listeners_.begin()->first);
  if (epollFd_ >= 0) close(epollFd_);
  if (slot_ >= 0) {
    std::lock_guard lock(g_slotMutex);
    g_slots[slot_] = false;
  }
}

std::uint32_t DdeInstance::GetLastError() {
  std::uint32_t error = lastError_;
  lastError_ = 0;
  return error;
}

std::string DdeInstance::Identity() const {
  return std::to_string(getpid()) + ":" + std::to_string(id_);
}

// ---- service names ----

bool DdeInstance::RegisterService(const std::string& service) {
  if (!Initialized()) {
    lastError_ = DMLERR_DLL_NOT_INITIALIZED;
    return false;
  }
  if ((flags_ & APPCMD_CLIENTONLY) || !ValidServiceName(service)) {
    lastError_ = (flags_ & APPCMD_CLIENTONLY) ? DMLERR_DLL_USAGE : DMLERR_INVALIDPARAMETER;
    return false;
  }
  if (listeners_.count(service)) return true;
  std::string path = folder_ + "/" + service + "@" + std::to_string(getpid()) + ".sock";
  bool ok = false;
  sockaddr_un addr = UnixAddress(path, ok);
  if (!ok) {
    lastError_ = DMLERR_INVALIDPARAMETER;
    return false;
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    lastError_ = DMLERR_SYS_ERROR;
    return false;
  }
  unlink(path.c_str());  // ours from an earlier registration of this pid
  // The folder admits only its owner; the socket's own mode says the same.
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      chmod(path.c_str(), 0600) != 0 || listen(fd, 64) != 0) {
    close(fd);
    unlink(path.c_str());
    lastError_ = DMLERR_SYS_ERROR;
    return false;
  }
  auto listener = std::make_unique<Listener>();
  static std::atomic<std::uint64_t> nextKey{1};
  listener->key = kListenerTag | nextKey.fetch_add(1);
  listener->fd = fd;
  listener->service = service;
  listener->path = path;
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = listener->key;
  epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev);
  listeners_[service] = std::move(listener);
  return true;
}

bool DdeInstance::UnregisterService(const std::string& service) {
  auto it = listeners_.find(service);
  if (it == listeners_.end()) return false;
  epoll_ctl(epollFd_, EPOLL_CTL_DEL, it->second->fd, nullptr);
  close(it->second->fd);
  unlink(it->second->path.c_str());
  listeners_.erase(it);
  return true;
}

std::string DdeInstance::ServiceSocket(const std::string& service) const {
  auto it = listeners_.find(service);
  return it == listeners_.end() ? std::string() : it->second->path;
}

// ---- connections ----

DdeInstance::ConnectionPtr DdeInstance::Find(DdeConv conv) const {
  auto it = connections_.find(conv);
  return it == connections_.end() ? nullptr : it->second;
}

int DdeInstance::ConnectSocket(const std::string& path) {
  bool ok = false;
  sockaddr_un addr = UnixAddress(path, ok);
  if (!ok) return -1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // A Unix stream connect does not wait for the server's accept.
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno == ECONNREFUSED) unlink(path.c_str());  // nobody listens any more
    close(fd);
    return -1;
  }
  timeval tv{static_cast<time_t>(kDdeTimeoutMs / 1000), 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  return fd;
}

DdeTransaction DdeInstance::OnConversation(const Connection& conn, std::uint16_t type,
                                           std::uint16_t format, std::string item) {
  DdeTransaction t;
  t.type = type;
  t.format = format;
  t.conv = conn.id;
  t.service = conn.service;
  t.topic = conn.topic;
  t.item = std::move(item);
  return t;
}

DdeInstance::ConnectionPtr DdeInstance::AddConnection(int fd, const std::string& service, bool client) {
  auto conn = std::make_shared<Connection>();
  conn->id = nextConv_++;
  conn->fd = fd;
  conn->client = client;
  conn->service = service;
  connections_[conn->id] = conn;
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = conn->id;
  epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev);
  return conn;
}

DdeInstance::ConnectionPtr DdeInstance::OpenClient(const DdeSocketEntry& entry) {
  int fd = ConnectSocket(entry.path);
  if (fd < 0) return nullptr;
  return AddConnection(fd, entry.service, true);
}

DdeConv DdeInstance::Connect(const std::string& service, const std::string& topic) {
  if (!Initialized()) {
    lastError_ = DMLERR_DLL_NOT_INITIALIZED;
    return 0;
  }
  for (const DdeSocketEntry& entry : FindDdeSockets(folder_, service)) {
    ConnectionPtr conn = OpenClient(entry);
    if (!conn) continue;
    conn->topic = topic;
    DdeFrame hello;
    hello.kind = DdeFrameKind::Hello;
    hello.seq = nextSeq_++;
    hello.name1 = topic;
    hello.name2 = Identity();
    std::optional<DdeFrame> reply;
    if (Send(conn, hello)) reply = WaitReply(conn, hello.seq, kDdeTimeoutMs);
    if (reply && reply->value != 0 && Find(conn->id)) {
      conn->established = true;
      conn->isSelf = reply->name2 == Identity();
      return conn->id;
    }
    Close(conn, false);
  }
  lastError_ = DMLERR_NO_CONV_ESTABLISHED;
  return 0;
}

std::vector<DdeServiceTopic> DdeInstance::WildConnect(const std::string& service,
                                                      const std::string& topic) {
  std::vector<DdeServiceTopic> result;
  if (!Initialized()) return result;
  for (const DdeSocketEntry& entry : FindDdeSockets(folder_, service)) {
    ConnectionPtr conn = OpenClient(entry);
    if (!conn) continue;
    DdeFrame wild;
    wild.kind = DdeFrameKind::WildConnect;
    wild.seq = nextSeq_++;
    wild.name1 = entry.service;
    wild.name2 = topic;
    std::optional<DdeFrame> reply;
    if (Send(conn, wild)) reply = WaitReply(conn, wild.seq, kDdeTimeoutMs);
    if (reply) {
      if (auto pairs = DecodeServiceTopics(reply->data)) {
        for (auto& p : *pairs) {
          p.pid = entry.pid;
          result.push_back(std::move(p));
        }
      }
    }
    Close(conn, false);
  }
  return result;
}

bool DdeInstance::Disconnect(DdeConv conv) {
  ConnectionPtr conn = Find(conv);
  if (!conn) {
    lastError_ = DMLERR_INVALIDPARAMETER;
    return false;
  }
  Close(conn, false);
  return true;
}

void DdeInstance::Close(const ConnectionPtr& conn, bool notify) {
  if (conn->fd < 0) return;
  std::optional<DdeConvInfo> info;
  if (notify && conn->established) info = QueryConvInfo(conn->id);
  epoll_ctl(epollFd_, EPOLL_CTL_DEL, conn->fd, nullptr);
  close(conn->fd);
  conn->fd = -1;
  if (info) {
    // The callback may still ask for the conversation's information.
    Call(OnConversation(*conn, XTYP_DISCONNECT, CF_TEXT, {}));
  }
  DdeConv id = conn->id;
  connections_.erase(id);
}

std::optional<DdeConvInfo> DdeInstance::QueryConvInfo(DdeConv conv) const {
  ConnectionPtr conn = Find(conv);
  if (!conn) return std::nullopt;
  DdeConvInfo info;
  info.service = conn->service;
  info.topic = conn->topic;
  info.client = conn->client;
  if (conn->isSelf) info.status |= ST_ISSELF;
  if (!conn->advises.empty() || !conn->clientAdvises.empty()) info.status |= ST_ADVISE;
  for (const auto& a : conn->advises) info.adviseItems.push_back(a.item);
  return info;
}

// ---- sending and receiving ----

bool DdeInstance::Send(const ConnectionPtr& conn, const DdeFrame& frame) {
  if (conn->fd < 0) return false;
  std::string bytes = EncodeDdeFrame(frame);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(conn->fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      lastError_ = errno == EAGAIN                        ? TimeoutError(frame.type)
                   : errno == EPIPE || errno == ECONNRESET ? DMLERR_SERVER_DIED
                                                           : DMLERR_POSTMSG_FAILED;
      Close(conn, true);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

DdeAnswer DdeInstance::Call(const DdeTransaction& t) {
  if (!callback_) return {};
  return callback_(t);
}

void DdeInstance::Pump() {
  if (!Initialized()) return;
  // Bounded, so a peer that keeps sending cannot hold the owner forever.
  for (int round = 0; round < 64; ++round) {
    epoll_event probe{};
    if (epoll_wait(epollFd_, &probe, 1, 0) <= 0) return;
    ProcessEvents(0);
  }
}

void DdeInstance::ProcessEvents(int timeoutMs) {
  std::array<epoll_event, 16> events{};
  int n = epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), timeoutMs);
  for (int i = 0; i < n; ++i) {
    std::uint64_t key = events[i].data.u64;
    if (key & kListenerTag) {
      for (auto& [name, listener] : listeners_) {
        if (listener->key == key) {
          Accept(*listener);
          break;
        }
      }
      continue;
    }
    if (ConnectionPtr conn = Find(static_cast<DdeConv>(key))) ReadFrom(conn);
  }
}

void DdeInstance::Accept(Listener& listener) {
  int fd = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  ucred cred{};
  socklen_t len = sizeof cred;
  // Only the same user (or root) may talk to our services.
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 ||
      (cred.uid != geteuid() && cred.uid != 0)) {
    close(fd);
    return;
  }
  timeval tv{static_cast<time_t>(kDdeTimeoutMs / 1000), 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  AddConnection(fd, listener.service, false);
}

void DdeInstance::ReadFrom(const ConnectionPtr& conn) {
  char buffer[65536];
  for (;;) {
    if (conn->fd < 0) return;
    ssize_t n = recv(conn->fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      conn->inbox.append(buffer, static_cast<std::size_t>(n));
      if (n < static_cast<ssize_t>(sizeof buffer)) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    Close(conn, true);  // the partner ended the conversation
    return;
  }
  // Take every complete frame first: a callback may read this connection
  // again while it waits for a transaction of its own.
  std::vector<DdeFrame> frames;
  for (;;) {
    DdeFrame frame;
    DdeFrameStatus status = TakeDdeFrame(conn->inbox, frame);
    if (status == DdeFrameStatus::NeedMore) break;
    if (status == DdeFrameStatus::Malformed) {
      lastError_ = DMLERR_SYS_ERROR;
      Close(conn, true);
      return;
    }
    frames.push_back(std::move(frame));
  }
  for (DdeFrame& frame : frames) {
    if (conn->fd < 0) return;
    HandleFrame(conn, frame);
  }
}

void DdeInstance::HandleFrame(const ConnectionPtr& conn, DdeFrame& frame) {
  switch (frame.kind) {
    case DdeFrameKind::Reply:
      conn->replies[frame.seq] = std::move(frame);
      return;
    case DdeFrameKind::Hello:
      if (conn->client || conn->established) break;
      HandleHello(conn, frame);
      return;
    case DdeFrameKind::WildConnect: {
      if (conn->client || conn->established) break;
      DdeTransaction t;
      t.type = XTYP_WILDCONNECT;
      t.service = frame.name1.empty() ? std::string() : conn->service;
      t.topic = frame.name2;
      DdeAnswer answer;
      if (frame.name1.empty() || EqualsNoCaseAscii(frame.name1, conn->service)) answer = Call(t);
      DdeFrame reply;
      reply.kind = DdeFrameKind::Reply;
      reply.seq = frame.seq;
      reply.data = EncodeServiceTopics(answer.pairs);
      Send(conn, reply);
      return;
    }
    case DdeFrameKind::Transaction:
      if (!conn->established) break;
      if (conn->client) {
        // Advise data a server posts to this client.
        if (frame.type != XTYP_ADVDATA) break;
        DdeTransaction t = OnConversation(*conn, XTYP_ADVDATA, frame.format, frame.name1);
        t.data = std::move(frame.data);
        DdeAnswer answer = Call(t);
        DdeFrame reply;
        reply.kind = DdeFrameKind::Reply;
        reply.seq = frame.seq;
        reply.value = answer.value;
        Send(conn, reply);
        return;
      }
      HandleServerTransaction(conn, frame);
      return;
  }
  // A frame that does not fit the conversation's state.
  lastError_ = DMLERR_SYS_ERROR;
  Close(conn, true);
}

void DdeInstance::HandleHello(const ConnectionPtr& conn, DdeFrame& frame) {
  DdeTransaction t;
  t.type = XTYP_CONNECT;
  t.service = conn->service;
  t.topic = frame.name1;
  DdeAnswer answer = Call(t);
  DdeFrame reply;
  reply.kind = DdeFrameKind::Reply;
  reply.seq = frame.seq;
  reply.value = answer.value != 0 ? 1 : 0;
  reply.name2 = Identity();
  if (!Send(conn, reply)) return;
  if (answer.value == 0) {
    Close(conn, false);
    return;
  }
  conn->established = true;
  conn->topic = frame.name1;
  conn->isSelf = frame.name2 == Identity();
  t.type = XTYP_CONNECT_CONFIRM;
  t.conv = conn->id;
  Call(t);
}

void DdeInstance::HandleServerTransaction(const ConnectionPtr& conn, DdeFrame& frame) {
  DdeTransaction t = OnConversation(*conn, frame.type, frame.format, frame.name1);
  t.data = std::move(frame.data);
  DdeFrame reply;
  reply.kind = DdeFrameKind::Reply;
  reply.seq = frame.seq;
  switch (frame.type) {
    case XTYP_EXECUTE:
    case XTYP_POKE:
    case XTYP_REQUEST: {
      DdeAnswer answer = Call(t);
      reply.value = answer.value;
      reply.data = std::move(answer.data);
      break;
    }
    case XTYP_ADVSTART: {
      DdeAnswer answer = Call(t);
      if (answer.value != 0) {
        conn->advises.push_back({t.item, t.format});
        reply.value = 1;
      }
      break;
    }
    case XTYP_ADVSTOP: {
      bool found = false;
      for (auto it = conn->advises.begin(); it != conn->advises.end(); ++it) {
        if (EqualsNoCaseAscii(it->item, t.item)) {
          conn->advises.erase(it);
          found = true;
          break;
        }
      }
      DdeAnswer answer = Call(t);
      reply.value = (found || answer.value != 0) ? 1 : 0;
      break;
    }
    default:
      reply.value = 0;  // not a transaction a client may send
      break;
  }
  reply.format = frame.format;
  Send(conn, reply);
}

std::optional<DdeFrame> DdeInstance::WaitReply(const ConnectionPtr& conn, std::uint32_t seq,
                                               std::uint32_t timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto it = conn->replies.find(seq);
    if (it != conn->replies.end()) {
      DdeFrame reply = std::move(it->second);
      conn->replies.erase(it);
      return reply;
    }
    if (conn->fd < 0) return std::nullopt;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return std::nullopt;
    // Everything of this instance is served meanwhile, the own services too.
    ProcessEvents(static_cast<int>(left));
  }
}

bool DdeInstance::ClientTransaction(DdeConv conv, std::uint16_t type, const std::string& item,
                                    std::uint16_t format, const std::string& data,
                                    std::uint32_t timeoutMs, std::string* result) {
  ConnectionPtr conn = Find(conv);
  if (!conn || !conn->client || !conn->established) {
    lastError_ = DMLERR_NO_CONV_ESTABLISHED;
    return false;
  }
  if (data.size() + item.size() + 64 > kDdeMaxFrame) {
    lastError_ = DMLERR_MEMORY_ERROR;
    return false;
  }
  DdeFrame frame;
  frame.kind = DdeFrameKind::Transaction;
  frame.seq = nextSeq_++;
  frame.type = type;
  frame.format = format;
  frame.name1 = item;
  frame.data = data;
  if (!Send(conn, frame)) return false;
  std::optional<DdeFrame> reply = WaitReply(conn, frame.seq, timeoutMs);
  if (!reply) {
    lastError_ = conn->fd < 0 ? DMLERR_SERVER_DIED : TimeoutError(type);
    return false;
  }
  switch (type) {
    case XTYP_REQUEST:
      if (reply->value == 0) break;
      if (result) *result = std::move(reply->data);
      return true;
    case XTYP_EXECUTE:
    case XTYP_POKE:
      if (reply->value & DDE_FACK) return true;
      if (reply->value & DDE_FBUSY) {
        lastError_ = DMLERR_BUSY;
        return false;
      }
      break;
    case XTYP_ADVSTART:
    case XTYP_ADVSTOP:
      if (reply->value == 0) break;
      if (type == XTYP_ADVSTART) {
        conn->clientAdvises.push_back(item);
      } else {
        std::erase_if(conn->clientAdvises,
                      [&](const std::string& i) { return EqualsNoCaseAscii(i, item); });
      }
      return true;
    default:
      break;
  }
  lastError_ = DMLERR_NOTPROCESSED;
  return false;
}

bool DdeInstance::PostAdvise(const std::string& topic, const std::string& item) {
  if (!Initialized()) return false;
  std::vector<ConnectionPtr> targets;
  for (auto& [id, conn] : connections_)
    if (!conn->client && conn->established && EqualsNoCaseAscii(conn->topic, topic))
      targets.push_back(conn);
  for (const ConnectionPtr& conn : targets) {
    std::vector<Connection::Advise> loops = conn->advises;
    for (const auto& loop : loops) {
      if (conn->fd < 0) break;
      if (!EqualsNoCaseAscii(loop.item, item)) continue;
      DdeAnswer answer = Call(OnConversation(*conn, XTYP_ADVREQ, loop.format, loop.item));
      if (answer.value == 0) continue;
      DdeFrame frame;
      frame.kind = DdeFrameKind::Transaction;
      frame.seq = nextSeq_++;  // the client's acknowledgement is not awaited
      frame.type = XTYP_ADVDATA;
      frame.format = loop.format;
      frame.name1 = loop.item;
      frame.data = std::move(answer.data);
      Send(conn, frame);
    }
  }
  // Acknowledgements of earlier advise data are not awaited; drop them.
  for (auto& [id, conn] : connections_)
    if (!conn->client) conn->replies.clear();
  return true;
}

// ---- string handles ----

DdeStringHandle DdeInstance::CreateStringHandle(const std::string& text) {
  for (auto& [handle, atom] : atoms_) {
    if (EqualsNoCaseAscii(atom.text, text)) {
      ++atom.refs;
      return handle;
    }
  }
  DdeStringHandle handle = nextAtom_++;
  atoms_[handle] = Atom{text, 1};
  return handle;
}

std::optional<std::string> DdeInstance::QueryString(DdeStringHandle handle) const {
  auto it = atoms_.find(handle);
  if (it == atoms_.end()) return std::nullopt;
  return it->second.text;
}

bool DdeInstance::FreeStringHandle(DdeStringHandle handle) {
  auto it = atoms_.find(handle);
  if (it == atoms_.end()) return false;
  if (--it->second.refs <= 0) atoms_.erase(it);
  return true;
}

}  // namespace meldrix
