#include "sources/SerialSourceErrors.h"

#include <cstdio>

#include "platform/SerialLibrary.h"
#include "util/StringTable.h"

namespace meldrix {

std::string FillText(const std::string& pattern, std::initializer_list<std::string> arguments) {
  std::string out;
  auto next = arguments.begin();
  auto take = [&] { return next != arguments.end() ? *next++ : std::string(); };
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    if (pattern[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    if (pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      out += take();
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < pattern.size() && std::string_view("-+ #0123456789.l").find(pattern[j]) !=
                                     std::string_view::npos)
      ++j;
    if (j < pattern.size() && std::string_view("sduXxg").find(pattern[j]) != std::string_view::npos) {
      out += take();
      i = j;
    } else {
      out += c;  // not a placeholder: keep it as it stands
    }
  }
  return out;
}

std::string SerialErrorReason(std::uint32_t error) {
  switch (error) {
    case SER_ERR_INVALID_PORT: return LoadText("IDS_SER_INVALID_PORT");
    case SER_ERR_PORT_IN_USE: return LoadText("IDS_SER_PORT_IN_USE");
    case SER_ERR_NOT_AVAILABLE: return LoadText("IDS_SER_NOT_AVAILABLE");
    case SER_ERR_NO_MEMORY: return LoadText("IDS_SER_NO_MEMORY");
    case SER_ERR_INVALID_PARAM: return LoadText("IDS_SER_INVALID_PARAM");
    default: {
      char code[16];
      std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(error));
      return FillText(LoadText("IDS_SER_ERROR_CODE"), {code});
    }
  }
}

}  // namespace meldrix
