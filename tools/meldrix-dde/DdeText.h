// Texts at the edge of the command line: arguments and output are UTF-8, the
// wire carries CF_TEXT (Windows-1252 with a terminating zero) or
// CF_UNICODETEXT (UTF-16LE with a terminating zero).
#pragma once

#include <cstdint>
#include <string>

namespace meldrix::ddetool {

// The bytes to send for a UTF-8 text, zero-terminated.
std::string EncodeForWire(const std::string& utf8, std::uint16_t format);
// The UTF-8 text of received data, up to its first zero; false for a format
// that is not text.
bool DecodeFromWire(const std::string& data, std::uint16_t format, std::string& utf8);

}  // namespace meldrix::ddetool
