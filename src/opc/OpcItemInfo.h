// One item of a connection's cache and how the bridge's values become its
// fields: the OPC UA status as a DA quality word, the time stamp as local time.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "util/DateTime.h"

namespace meldrix {

struct COpcItemInfo {
  std::uint32_t clientHandle = 0;
  std::string value;
  std::uint16_t quality = 0;
  // Invalid until a data change or a device read delivered a value.
  DateTime timeStamp = DateTime::Invalid();

  bool HasValue() const { return timeStamp.IsValid() && timeStamp.Days() != 0.0; }
};

// Item ID -> item.
using COpcItemInfos = std::map<std::string, COpcItemInfo>;

inline constexpr std::uint16_t kOpcQualityGood = 0xC0;
inline constexpr std::uint16_t kOpcQualityUncertain = 0x40;
inline constexpr std::uint16_t kOpcQualityBad = 0x00;

// By the status code's severity (its two top bits).
std::uint16_t OpcQualityFromStatus(std::uint32_t status);
// The status code as the bridge writes it (hexadecimal); Bad when unreadable.
std::uint32_t ParseOpcStatus(std::string_view hex);
// Milliseconds since 1970 UTC as the bridge writes them: local time by the
// present difference between local time and UTC; the current local time for
// an empty text or a time before 1900.
DateTime OpcTimeStampFromUtcMs(std::string_view milliseconds);

// Client handles: one process-wide counter, the first handle is 1.
std::uint32_t NextOpcClientHandle();

}  // namespace meldrix
