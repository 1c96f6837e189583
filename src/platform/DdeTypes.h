// The DDEML numbers the exchange layer and everything above it speak:
// transaction types, clipboard formats, acknowledgement flags, error codes.
// Windows programs and scripts know these values, so they are kept.
#pragma once

#include <cstdint>
#include <string>

namespace meldrix {

using DdeConv = std::uint32_t;  // conversation handle, 0 = none
using DdeStringHandle = std::uint32_t;  // 0 = none

inline constexpr std::uint16_t CF_TEXT = 1;
inline constexpr std::uint16_t CF_UNICODETEXT = 13;

inline constexpr std::uint16_t XTYP_ERROR = 0x8002;
inline constexpr std::uint16_t XTYP_ADVDATA = 0x4010;
inline constexpr std::uint16_t XTYP_ADVREQ = 0x2022;
inline constexpr std::uint16_t XTYP_ADVSTART = 0x1030;
inline constexpr std::uint16_t XTYP_ADVSTOP = 0x8040;
inline constexpr std::uint16_t XTYP_EXECUTE = 0x4050;
inline constexpr std::uint16_t XTYP_CONNECT = 0x1062;
inline constexpr std::uint16_t XTYP_CONNECT_CONFIRM = 0x8072;
inline constexpr std::uint16_t XTYP_POKE = 0x4090;
inline constexpr std::uint16_t XTYP_REQUEST = 0x20B0;
inline constexpr std::uint16_t XTYP_DISCONNECT = 0x80C2;
inline constexpr std::uint16_t XTYP_WILDCONNECT = 0x20E2;

inline constexpr std::uint32_t DDE_FACK = 0x8000;
inline constexpr std::uint32_t DDE_FBUSY = 0x4000;
inline constexpr std::uint32_t DDE_FNOTPROCESSED = 0;

inline constexpr std::uint32_t APPCMD_CLIENTONLY = 0x10;
inline constexpr std::uint32_t CBF_SKIP_REGISTRATIONS = 0x80000;
inline constexpr std::uint32_t CBF_SKIP_UNREGISTRATIONS = 0x100000;

inline constexpr std::uint32_t ST_ADVISE = 0x2;
inline constexpr std::uint32_t ST_ISSELF = 0x100;

inline constexpr std::uint32_t DMLERR_NO_ERROR = 0;
inline constexpr std::uint32_t DMLERR_ADVACKTIMEOUT = 0x4000;
inline constexpr std::uint32_t DMLERR_BUSY = 0x4001;
inline constexpr std::uint32_t DMLERR_DATAACKTIMEOUT = 0x4002;
inline constexpr std::uint32_t DMLERR_DLL_NOT_INITIALIZED = 0x4003;
inline constexpr std::uint32_t DMLERR_DLL_USAGE = 0x4004;
inline constexpr std::uint32_t DMLERR_EXECACKTIMEOUT = 0x4005;
inline constexpr std::uint32_t DMLERR_INVALIDPARAMETER = 0x4006;
inline constexpr std::uint32_t DMLERR_LOW_MEMORY = 0x4007;
inline constexpr std::uint32_t DMLERR_MEMORY_ERROR = 0x4008;
inline constexpr std::uint32_t DMLERR_NOTPROCESSED = 0x4009;
inline constexpr std::uint32_t DMLERR_NO_CONV_ESTABLISHED = 0x400A;
inline constexpr std::uint32_t DMLERR_POKEACKTIMEOUT = 0x400B;
inline constexpr std::uint32_t DMLERR_POSTMSG_FAILED = 0x400C;
inline constexpr std::uint32_t DMLERR_REENTRANCY = 0x400D;
inline constexpr std::uint32_t DMLERR_SERVER_DIED = 0x400E;
inline constexpr std::uint32_t DMLERR_SYS_ERROR = 0x400F;
inline constexpr std::uint32_t DMLERR_UNADVACKTIMEOUT = 0x4010;
inline constexpr std::uint32_t DMLERR_UNFOUND_QUEUE_ID = 0x4011;

inline constexpr std::uint32_t kDdeTimeoutMs = 5000;
// A frame longer than this ends its conversation.
inline constexpr std::uint32_t kDdeMaxFrame = 1u << 20;

// One (service, topic) pair of a wild connect; pid is the serving process.
struct DdeServiceTopic {
  std::string service;
  int pid = 0;
  std::string topic;
};

}  // namespace meldrix
