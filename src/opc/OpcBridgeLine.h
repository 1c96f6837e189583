// The bridge's wire form: one message a line, fields separated by tabs, with
// "\", tab, CR and LF escaped as \\, \t, \r and \n.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace meldrix {

// A line is cut after this many bytes on both sides: a longer one means the
// peer misbehaves.
inline constexpr std::size_t kOpcBridgeMaxLine = 64 * 1024;

std::string JoinBridgeFields(const std::vector<std::string>& fields);  // with the final "\n"
std::vector<std::string> SplitBridgeLine(std::string_view line);       // without the "\n"

}  // namespace meldrix
