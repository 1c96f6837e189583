// Coloured lines of the program's own in the log.
#pragma once

#include <cstdint>
#include <string>

#include "util/StreamDoc.h"

namespace meldrix {

inline constexpr std::uint32_t kLogRed = 0x000000FF;  // 0x00BBGGRR

// Writes `text` as one red line (trailing line ends dropped), then goes back
// to the default colour.
inline void WriteRedLine(CStreamDoc& log, std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  log.SetColour(kLogRed);
  log.Write(text + "\n");
  log.SetColour(0);
}

}  // namespace meldrix
