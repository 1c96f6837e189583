// COpcServerConnection: one OPC UA session of the bridge for one thread,
// server and node, with one subscription at the update rate and the item
// cache its data changes keep current.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "opc/OpcBridge.h"
#include "opc/OpcEndpoint.h"
#include "opc/OpcItemInfo.h"

namespace meldrix {

inline constexpr std::uint32_t kOpcErrorFail = 0x80004005;          // E_FAIL
inline constexpr std::uint32_t kOpcErrorNotLoaded = 0x80040154;     // REGDB_E_CLASSNOTREG
inline constexpr std::uint32_t kOpcErrorTimeout = 0x800705B4;       // ERROR_TIMEOUT
inline constexpr auto kOpcRequestLimit = std::chrono::seconds(5);
inline constexpr auto kOpcConnectLimit = std::chrono::seconds(10);

class COpcServerConnection {
 public:
  using EndpointLookup = std::function<std::optional<OpcEndpoint>(const std::string& server, const std::string& node)>;

  COpcServerConnection(COpcBridge& bridge, EndpointLookup endpoints, std::string key, std::string server,
                       std::string node, int updateRate);

  const std::string& Key() const { return m_Key; }
  // Starts the bridge when needed, opens the session and the subscription;
  // items already in the cache are added again.
  bool Connect();
  bool IsConnected() const;

  // The item's cached value; true when a value has arrived. An item not yet
  // in the cache is added and, without a value yet, read from the device
  // (then `deviceTried` is set).
  bool ReadCached(const std::string& itemId, std::string& value, std::uint16_t& quality, DateTime& timeStamp,
                  bool& deviceTried);
  bool ReadDevice(const std::string& itemId, std::string& value, std::uint16_t& quality, DateTime& timeStamp);
  bool Write(const std::string& itemId, const std::string& value);

  // From the bridge's reader thread.
  void DataChange(std::uint32_t clientHandle, const std::string& value, const std::string& status,
                  const std::string& timeStamp);
  void MarkLost();

  std::uint32_t LastError() const;
  std::string LastErrorText() const;

 private:
  bool AddOpcItem(const std::string& itemId, std::uint32_t& clientHandle);
  std::optional<std::uint32_t> HandleOf(const std::string& itemId);
  // A failed reply as the connection's error; "lost" and "gone" end the session.
  void Failed(const OpcBridgeReply& reply);
  void SetError(std::uint32_t code, std::string text);
  void ClearError();

  COpcBridge& m_Bridge;
  EndpointLookup m_Endpoints;
  const std::string m_Key;
  const std::string m_ServerName;
  const std::string m_NodeName;
  const int m_UpdateRate;

  // Guards the item cache, the connection state and the error; never held
  // while waiting for the bridge, whose reader delivers data changes here.
  mutable std::mutex m_CacheLock;
  bool m_Connected = false;
  std::uint64_t m_BridgeGeneration = 0;
  COpcItemInfos m_Items;
  std::unordered_map<std::uint32_t, std::string> m_ItemByHandle;
  std::uint32_t m_LastError = 0;
  std::string m_LastErrorText;
};

}  // namespace meldrix
