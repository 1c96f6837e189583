// COpcClient: the variable store's access to OPC items, over OPC UA through
// the bridge program meldrix-opc-bridge. One connection per calling thread,
// server and node; repeated reads are answered from each connection's cache.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "expr/ExternalAccess.h"
#include "opc/OpcBridge.h"
#include "opc/OpcServerConnection.h"
#include "platform/ConfigValueReader.h"

namespace meldrix {

class COpcClient : public OpcValueAccess {
 public:
  // The bridge program: $MELDRIX_OPC_BRIDGE, else meldrix-opc-bridge beside
  // this program, run by node.
  COpcClient();
  explicit COpcClient(COpcBridge::Launcher launcher);
  ~COpcClient() override;

  // Section "OPC" of the configuration; read at every connect.
  void SetConfiguration(ConfigValueReader config);
  // For connections made from now on; 1000 ms unless set.
  void SetUpdateRate(int milliseconds);

  bool ReadValue(const std::string& server, const std::string& node, const std::string& item,
                 std::string& value) override;
  bool ReadValue(const std::string& server, const std::string& node, const std::string& item, std::string& value,
                 std::uint16_t& quality, DateTime& timeStamp);
  bool WriteValue(const std::string& server, const std::string& node, const std::string& item,
                  const std::string& value) override;
  std::string LastErrorText() const override;
  std::uint32_t LastError() const;

  // "%08lX:" with the thread id, then server "@" node, "." for no node.
  static std::string ConnectionKey(unsigned long threadId, const std::string& server, const std::string& node);

 private:
  COpcServerConnection* GetConnection(const std::string& server, const std::string& node);
  void OnBridgeMessage(const std::vector<std::string>& fields);
  void CopyError(const COpcServerConnection& connection);
  void SetError(std::uint32_t code, std::string text);

  mutable std::mutex m_Lock;  // the map, the settings and the last error
  ConfigValueReader m_Config;
  int m_UpdateRate = 1000;
  std::uint32_t m_LastError = 0;
  std::string m_LastErrorText;
  // COpcServerConnections: key -> connection, for the client's whole life.
  std::map<std::string, std::unique_ptr<COpcServerConnection>> m_Connections;
  // Declared last so it ends first: its reader reaches the connections.
  COpcBridge m_Bridge;
};

// The real bridge: node running the bridge script, its output into
// $MELDRIX_OPC_BRIDGE_LOG when set. Not started when either is missing.
ChildChannel StartOpcBridgeProgram();

}  // namespace meldrix
