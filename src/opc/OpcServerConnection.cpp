#include "opc/OpcServerConnection.h"

#include "platform/Cp1252.h"

namespace meldrix {

COpcServerConnection::COpcServerConnection(COpcBridge& bridge, EndpointLookup endpoints, std::string key,
                                           std::string server, std::string node, int updateRate)
    : m_Bridge(bridge),
      m_Endpoints(std::move(endpoints)),
      m_Key(std::move(key)),
      m_ServerName(std::move(server)),
      m_NodeName(std::move(node)),
      m_UpdateRate(updateRate) {}

void COpcServerConnection::SetError(std::uint32_t code, std::string text) {
  std::lock_guard lock(m_CacheLock);
  m_LastError = code;
  m_LastErrorText = std::move(text);
}

void COpcServerConnection::ClearError() { SetError(0, {}); }

std::uint32_t COpcServerConnection::LastError() const {
  std::lock_guard lock(m_CacheLock);
  return m_LastError;
}

std::string COpcServerConnection::LastErrorText() const {
  std::lock_guard lock(m_CacheLock);
  return m_LastErrorText;
}

bool COpcServerConnection::IsConnected() const {
  std::lock_guard lock(m_CacheLock);
  // A session belongs to the bridge that opened it.
  return m_Connected && m_BridgeGeneration == m_Bridge.Generation() && m_Bridge.Running();
}

void COpcServerConnection::MarkLost() {
  std::lock_guard lock(m_CacheLock);
  m_Connected = false;
}

bool COpcServerConnection::Connect() {
  ClearError();
  MarkLost();
  if (!m_Bridge.EnsureRunning()) {
    SetError(kOpcErrorNotLoaded, "Could not load OPC.Automation");
    return false;
  }
  const std::string cannotConnect = "Could not connect to server '" + m_ServerName + "'";
  const auto endpoint = m_Endpoints ? m_Endpoints(m_ServerName, m_NodeName) : std::nullopt;
  if (!endpoint) {
    SetError(kOpcErrorFail, cannotConnect);
    return false;
  }
  const std::uint64_t generation = m_Bridge.Generation();
  const OpcBridgeReply reply = m_Bridge.Request(
      {"connect", m_Key, Cp1252ToUtf8(endpoint->url), std::to_string(m_UpdateRate), endpoint->securityPolicy,
       endpoint->securityMode, Cp1252ToUtf8(endpoint->userName), Cp1252ToUtf8(endpoint->password),
       Cp1252ToUtf8(endpoint->certificateFile), Cp1252ToUtf8(endpoint->privateKeyFile)},
      kOpcConnectLimit);
  if (!reply.ok) {
    SetError(reply.kind == "timeout" ? kOpcErrorTimeout : kOpcErrorFail,
             reply.kind == "groups" ? "Could not get groups" : cannotConnect);
    return false;
  }
  // Items the cache already knows join the new subscription under their
  // handles; their values count again once the new session delivered them.
  std::vector<std::pair<std::string, std::uint32_t>> known;
  {
    std::lock_guard lock(m_CacheLock);
    m_Connected = true;
    m_BridgeGeneration = generation;
    for (auto& [itemId, info] : m_Items) {
      info.timeStamp = DateTime::Invalid();
      known.emplace_back(itemId, info.clientHandle);
    }
  }
  for (const auto& [itemId, handle] : known) {
    if (m_Bridge.Request({"add", m_Key, std::to_string(handle), Cp1252ToUtf8(itemId)}, kOpcRequestLimit).ok) continue;
    std::lock_guard lock(m_CacheLock);
    m_Items.erase(itemId);  // the next use adds it anew and says why it fails
    m_ItemByHandle.erase(handle);
  }
  return true;
}

void COpcServerConnection::Failed(const OpcBridgeReply& reply) {
  if (reply.kind == "lost" || reply.kind == "gone") {
    MarkLost();
    SetError(kOpcErrorFail, "Could not connect to server '" + m_ServerName + "'");
  } else if (reply.kind == "timeout") {
    SetError(kOpcErrorTimeout, "No answer from the OPC UA bridge in time");
  } else {
    SetError(kOpcErrorFail, Utf8ToCp1252(reply.Detail()));
  }
}

bool COpcServerConnection::AddOpcItem(const std::string& itemId, std::uint32_t& clientHandle) {
  clientHandle = NextOpcClientHandle();
  const OpcBridgeReply reply =
      m_Bridge.Request({"add", m_Key, std::to_string(clientHandle), Cp1252ToUtf8(itemId)}, kOpcRequestLimit);
  if (!reply.ok) {
    if (reply.kind == "unknown")
      SetError(kOpcErrorFail, "Unknown:" + (reply.Detail().empty() ? itemId : Utf8ToCp1252(reply.Detail())));
    else
      Failed(reply);
    return false;
  }
  std::lock_guard lock(m_CacheLock);
  COpcItemInfo& info = m_Items[itemId];
  if (info.clientHandle) m_ItemByHandle.erase(info.clientHandle);
  info = COpcItemInfo{};
  info.clientHandle = clientHandle;
  m_ItemByHandle[clientHandle] = itemId;
  return true;
}

std::optional<std::uint32_t> COpcServerConnection::HandleOf(const std::string& itemId) {
  {
    std::lock_guard lock(m_CacheLock);
    if (auto it = m_Items.find(itemId); it != m_Items.end()) return it->second.clientHandle;
  }
  std::uint32_t handle = 0;
  if (!AddOpcItem(itemId, handle)) return std::nullopt;
  return handle;
}

bool COpcServerConnection::ReadCached(const std::string& itemId, std::string& value, std::uint16_t& quality,
                                      DateTime& timeStamp, bool& deviceTried) {
  deviceTried = false;
  ClearError();
  if (!IsConnected() && !Connect()) return false;
  for (int pass = 0; pass < 2; ++pass) {
    {
      std::lock_guard lock(m_CacheLock);
      if (auto it = m_Items.find(itemId); it != m_Items.end()) {
        value = it->second.value;
        quality = it->second.quality;
        timeStamp = it->second.timeStamp;
        return it->second.HasValue();
      }
    }
    if (pass == 1) break;
    std::uint32_t handle = 0;
    if (!AddOpcItem(itemId, handle)) return false;
  }
  deviceTried = true;
  return ReadDevice(itemId, value, quality, timeStamp);
}

bool COpcServerConnection::ReadDevice(const std::string& itemId, std::string& value, std::uint16_t& quality,
                                      DateTime& timeStamp) {
  const auto handle = HandleOf(itemId);
  if (!handle) return false;
  const OpcBridgeReply reply = m_Bridge.Request({"read", m_Key, std::to_string(*handle)}, kOpcRequestLimit);
  if (!reply.ok || reply.fields.size() < 3) {
    Failed(reply.ok ? OpcBridgeReply{false, "request", {"malformed reply"}} : reply);
    return false;
  }
  value = Utf8ToCp1252(reply.fields[0]);
  quality = OpcQualityFromStatus(ParseOpcStatus(reply.fields[1]));
  timeStamp = OpcTimeStampFromUtcMs(reply.fields[2]);
  std::lock_guard lock(m_CacheLock);
  if (auto it = m_Items.find(itemId); it != m_Items.end()) {
    it->second.value = value;
    it->second.quality = quality;
    it->second.timeStamp = timeStamp;
  }
  return true;
}

bool COpcServerConnection::Write(const std::string& itemId, const std::string& value) {
  ClearError();
  if (!IsConnected() && !Connect()) return false;
  const auto handle = HandleOf(itemId);
  if (!handle) return false;
  const OpcBridgeReply reply =
      m_Bridge.Request({"write", m_Key, std::to_string(*handle), Cp1252ToUtf8(value)}, kOpcRequestLimit);
  if (!reply.ok) Failed(reply);
  return reply.ok;
}

void COpcServerConnection::DataChange(std::uint32_t clientHandle, const std::string& value,
                                      const std::string& status, const std::string& timeStamp) {
  std::lock_guard lock(m_CacheLock);
  const auto handle = m_ItemByHandle.find(clientHandle);
  if (handle == m_ItemByHandle.end()) return;
  auto it = m_Items.find(handle->second);
  if (it == m_Items.end()) return;
  it->second.value = Utf8ToCp1252(value);
  it->second.quality = OpcQualityFromStatus(ParseOpcStatus(status));
  it->second.timeStamp = OpcTimeStampFromUtcMs(timeStamp);
}

}  // namespace meldrix
