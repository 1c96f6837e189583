#include "opc/OpcClient.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/DataFolder.h"

namespace meldrix {

ChildChannel StartOpcBridgeProgram() {
  const char* configured = std::getenv("MELDRIX_OPC_BRIDGE");
  const std::string script =
      configured && *configured ? configured : ExecutableFolder() + "/meldrix-opc-bridge";
  std::error_code error;
  if (!std::filesystem::is_regular_file(script, error)) return ChildChannel();
  const char* log = std::getenv("MELDRIX_OPC_BRIDGE_LOG");
  ChildChannel channel;
  // The heap limit bounds the bridge's memory; queued data changes are
  // bounded by the bridge itself.
  channel.Start({"node", "--max-old-space-size=128", script}, log ? log : "");
  return channel;
}

COpcClient::COpcClient() : COpcClient(StartOpcBridgeProgram) {}

COpcClient::COpcClient(COpcBridge::Launcher launcher)
    : m_Bridge(std::move(launcher), [this](const std::vector<std::string>& fields) { OnBridgeMessage(fields); }) {}

COpcClient::~COpcClient() { m_Bridge.Stop(); }

void COpcClient::SetConfiguration(ConfigValueReader config) {
  std::lock_guard lock(m_Lock);
  m_Config = std::move(config);
}

void COpcClient::SetUpdateRate(int milliseconds) {
  std::lock_guard lock(m_Lock);
  m_UpdateRate = milliseconds;
}

std::string COpcClient::ConnectionKey(unsigned long threadId, const std::string& server, const std::string& node) {
  char prefix[24];
  std::snprintf(prefix, sizeof prefix, "%08lX:", threadId);
  return prefix + server + "@" + (node.empty() ? "." : node);
}

void COpcClient::SetError(std::uint32_t code, std::string text) {
  std::lock_guard lock(m_Lock);
  m_LastError = code;
  m_LastErrorText = std::move(text);
}

void COpcClient::CopyError(const COpcServerConnection& connection) {
  SetError(connection.LastError(), connection.LastErrorText());
}

std::string COpcClient::LastErrorText() const {
  std::lock_guard lock(m_Lock);
  return m_LastErrorText;
}

std::uint32_t COpcClient::LastError() const {
  std::lock_guard lock(m_Lock);
  return m_LastError;
}

COpcServerConnection* COpcClient::GetConnection(const std::string& server, const std::string& node) {
  const std::string key = ConnectionKey(static_cast<unsigned long>(::gettid()), server, node);
  COpcServerConnection* existing = nullptr;
  int updateRate;
  {
    std::lock_guard lock(m_Lock);
    if (auto it = m_Connections.find(key); it != m_Connections.end()) existing = it->second.get();
    updateRate = m_UpdateRate;
  }
  if (existing) {
    // Only this thread uses its connection; a lost one reconnects in place.
    if (!existing->IsConnected() && !existing->Connect()) CopyError(*existing);
    return existing;
  }
  auto endpoints = [this](const std::string& s, const std::string& n) {
    ConfigValueReader config;
    {
      std::lock_guard lock(m_Lock);
      config = m_Config;
    }
    return ResolveOpcEndpoint(config, s, n);
  };
  auto connection = std::make_unique<COpcServerConnection>(m_Bridge, endpoints, key, server, node, updateRate);
  if (!connection->Connect()) {
    CopyError(*connection);
    return nullptr;  // the next call tries again
  }
  std::lock_guard lock(m_Lock);
  return m_Connections.emplace(key, std::move(connection)).first->second.get();
}

bool COpcClient::ReadValue(const std::string& server, const std::string& node, const std::string& item,
                           std::string& value) {
  std::uint16_t quality = 0;
  DateTime timeStamp;
  return ReadValue(server, node, item, value, quality, timeStamp);
}

bool COpcClient::ReadValue(const std::string& server, const std::string& node, const std::string& item,
                           std::string& value, std::uint16_t& quality, DateTime& timeStamp) {
  value.clear();
  quality = 0;
  SetError(0, {});
  COpcServerConnection* connection = GetConnection(server, node);
  if (!connection || !connection->IsConnected()) return false;
  auto read = [&] {
    bool deviceTried = false;
    return connection->ReadCached(item, value, quality, timeStamp, deviceTried) ||
           (!deviceTried && connection->ReadDevice(item, value, quality, timeStamp));
  };
  if (read()) return true;
  // The session ended under the read: once more on a new one. Not after a
  // time-out, which would only make the caller wait twice as long.
  if (connection->LastError() != kOpcErrorTimeout && !connection->IsConnected() && connection->Connect() && read())
    return true;
  CopyError(*connection);
  return false;
}

bool COpcClient::WriteValue(const std::string& server, const std::string& node, const std::string& item,
                            const std::string& value) {
  SetError(0, {});
  COpcServerConnection* connection = GetConnection(server, node);
  if (!connection || !connection->IsConnected()) return false;
  if (connection->Write(item, value)) return true;
  if (connection->LastError() != kOpcErrorTimeout && !connection->IsConnected() && connection->Connect() &&
      connection->Write(item, value))
    return true;
  CopyError(*connection);
  return false;
}

void COpcClient::OnBridgeMessage(const std::vector<std::string>& fields) {
  std::lock_guard lock(m_Lock);
  if (fields[0] == "gone") {
    // The bridge ended: no session of it is left.
    for (auto& [key, connection] : m_Connections) connection->MarkLost();
    return;
  }
  if (fields.size() < 2) return;
  const auto it = m_Connections.find(fields[1]);
  if (it == m_Connections.end()) return;
  if (fields[0] == "lost") {
    it->second->MarkLost();
  } else if (fields[0] == "change" && fields.size() >= 6) {
    const unsigned long handle = std::strtoul(fields[2].c_str(), nullptr, 10);
    it->second->DataChange(static_cast<std::uint32_t>(handle), fields[3], fields[4], fields[5]);
  }
}

}  // namespace meldrix
