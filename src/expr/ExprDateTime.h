// The date-and-time arithmetic of "DT#" texts: "DT#2019-01-01-00:00:00" + 86400
// and the difference of two such texts in seconds.
#pragma once

#include <cstdint>
#include <string>

namespace meldrix {

bool IsDtText(const std::string& text);
// The text after "DT#" moved by seconds, as "DT#%Y-%m-%d-%H:%M:%S".
std::string DtAddSeconds(const std::string& dtText, int32_t seconds);
// left minus right in whole seconds (truncated).
int32_t DtDifference(const std::string& left, const std::string& right);
// "DT#" and the current local time, for the literal DT#NOW.
std::string CurrentDtLiteral();

}  // namespace meldrix
