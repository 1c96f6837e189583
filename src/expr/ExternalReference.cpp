#include "expr/ExternalReference.h"

#include <vector>

namespace meldrix {

namespace {

std::string_view StripEnclosing(std::string_view text, char quote) {
  if (text.size() >= 2 && text.front() == quote && text.back() == quote)
    return text.substr(1, text.size() - 2);
  return text;
}

// Matches prefix ( '([^']+)' separated by "," ) ")" exactly, the whole name:
// the same as the patterns ^DDE\('([^']+)','([^']+)','([^']+)'\)$ and
// ^OPC\('([^']+)','([^']+)'\)$ (a zero byte ends the text for the matcher,
// so it never belongs to a group).
std::optional<std::vector<std::string>> MatchQuotedCall(std::string_view name,
                                                        std::string_view prefix, int groups) {
  if (name.substr(0, prefix.size()) != prefix) return std::nullopt;
  size_t pos = prefix.size();
  std::vector<std::string> parts;
  for (int g = 0; g < groups; ++g) {
    if (g > 0) {
      if (name.substr(pos, 3) != "','") return std::nullopt;
      pos += 3;
    } else {
      if (name.substr(pos, 2) != "('") return std::nullopt;
      pos += 2;
    }
    size_t end = pos;
    while (end < name.size() && name[end] != '\'' && name[end] != '\0') ++end;
    if (end == pos) return std::nullopt;
    parts.emplace_back(name.substr(pos, end - pos));
    pos = end;
  }
  if (name.substr(pos) != "')") return std::nullopt;
  return parts;
}

}  // namespace

std::optional<DdeReference> ParseDdeReference(std::string_view name) {
  std::string_view inner = name;
  if (inner.size() >= 2 && (inner.front() == '"' || inner.front() == '\''))
    inner = StripEnclosing(inner, inner.front());
  size_t bar = inner.find('|');
  size_t bang = inner.find('!');
  if (bar != std::string_view::npos && bang != std::string_view::npos && bar < bang) {
    DdeReference ref;
    ref.service = std::string(inner.substr(0, bar));
    ref.topic = std::string(StripEnclosing(inner.substr(bar + 1, bang - bar - 1), '\''));
    ref.item = std::string(StripEnclosing(inner.substr(bang + 1), '\''));
    return ref;
  }
  if (auto parts = MatchQuotedCall(name, "DDE", 3))
    return DdeReference{(*parts)[0], (*parts)[1], (*parts)[2]};
  return std::nullopt;
}

std::optional<OpcReference> ParseOpcReference(std::string_view name) {
  if (auto parts = MatchQuotedCall(name, "OPC", 2)) return OpcReference{(*parts)[0], "", (*parts)[1]};
  if (name.find("::") == std::string_view::npos || name.find(' ') != std::string_view::npos)
    return std::nullopt;
  std::string_view inner = StripEnclosing(name, '"');
  size_t sep = inner.find("::");
  if (sep == std::string_view::npos) return std::nullopt;
  OpcReference ref;
  std::string_view server = inner.substr(0, sep);
  ref.item = std::string(inner.substr(sep + 2));
  size_t at = server.find('@');
  if (at != std::string_view::npos) {
    ref.node = std::string(server.substr(at + 1));
    server = server.substr(0, at);
  }
  ref.server = std::string(server);
  return ref;
}

}  // namespace meldrix
