// Names and colours shared by processing, sending and their tests.
#pragma once

#include <cstdint>
#include <string>

#include "util/StreamDoc.h"

namespace meldrix {

// Log colours (0x00BBGGRR).
inline constexpr std::uint32_t kColourDefault = 0x000000;
inline constexpr std::uint32_t kColourMatched = 0x008000;       // green 0,128,0: has receivers
inline constexpr std::uint32_t kColourNoReceivers = 0xFF0000;   // blue 0,0,255
inline constexpr std::uint32_t kColourSent = 0x0000FF;          // red 255,0,0
inline constexpr std::uint32_t kColourSendError = 0x0000FF | CStreamDoc::kInverted;

inline constexpr char kMessageVariable[] = "$MESSAGE";
inline constexpr char kMessageFieldPrefix[] = "$MSGFIELD";
inline constexpr char kInPortVariable[] = "$INPORT";

// "$MSGFIELD[n]"
std::string MessageFieldName(int n);

}  // namespace meldrix
