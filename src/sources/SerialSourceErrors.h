// Texts shared by the sources and outputs: the reason for a serial-library
// error word, and the filling of "%s"-style placeholders of table texts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace meldrix {

// Replaces each placeholder of `pattern` in turn by the next argument: a "%"
// with optional flags, width and "l", ending in s, d, u, X, x or g, or a
// "%1".."%9". "%%" stands for "%". Arguments are already formatted, so a
// wrong table text can never read past them; missing arguments become "".
std::string FillText(const std::string& pattern, std::initializer_list<std::string> arguments);

// The localised reason for a SerOpen error word: invalid port number, port in
// use, not available, no memory, invalid parameters, else "Error code: %04X".
std::string SerialErrorReason(std::uint32_t error);

}  // namespace meldrix
