#include "opc/OpcItemInfo.h"

#include <atomic>
#include <charconv>

#include "platform/Clock.h"

namespace meldrix {
namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr double kDaysFrom1899To1970 = 25569.0;
constexpr std::int64_t kMs1900 = -2208988800000LL;  // 1 January 1900 00:00 UTC

}  // namespace

std::uint16_t OpcQualityFromStatus(std::uint32_t status) {
  switch (status >> 30) {
    case 0: return kOpcQualityGood;
    case 1: return kOpcQualityUncertain;
    default: return kOpcQualityBad;
  }
}

std::uint32_t ParseOpcStatus(std::string_view hex) {
  std::uint32_t status = 0;
  const auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), status, 16);
  if (hex.empty() || error != std::errc() || end != hex.data() + hex.size()) return 0x80000000u;
  return status;
}

DateTime OpcTimeStampFromUtcMs(std::string_view milliseconds) {
  std::int64_t ms = 0;
  const auto [end, error] = std::from_chars(milliseconds.data(), milliseconds.data() + milliseconds.size(), ms);
  if (milliseconds.empty() || error != std::errc() || end != milliseconds.data() + milliseconds.size() ||
      ms < kMs1900)
    return DateTime::Now();
  const double offsetDays = LocalUtcOffset() / 86400.0;  // the present one, as for every time stamp
  return DateTime(LinearToDateTime(static_cast<double>(ms) / kMsPerDay + kDaysFrom1899To1970 + offsetDays));
}

std::uint32_t NextOpcClientHandle() {
  static std::atomic<std::uint32_t> next{1};
  return next++;
}

}  // namespace meldrix
