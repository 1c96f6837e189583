#include "mail/MimeHeader.h"

#include "platform/Cp1252.h"
#include "util/TrimWhiteSpace.h"

namespace meldrix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void SkipBlanks(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
}

// A quoted string starting at the opening quote; pos ends behind the closing
// one (or at the end of a string left open).
std::string QuotedString(std::string_view text, std::size_t& pos) {
  std::string value;
  for (++pos; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '"') {
      ++pos;
      break;
    }
    if (c == '\\' && pos + 1 < text.size()) ++pos;
    value += text[pos];
  }
  return value;
}

}  // namespace

std::string CMimeHeader::Parameter(std::string_view name) const {
  for (const auto& [key, value] : parameters)
    if (EqualsNoCaseAscii(key, name)) return value;
  return {};
}

CMimeHeader CMimeHeader::Parse(std::string_view text) {
  CMimeHeader header;
  std::size_t pos = text.find(';');
  header.value = TrimWhiteSpace(text.substr(0, pos));
  while (pos < text.size()) {
    ++pos;  // behind the ";"
    SkipBlanks(text, pos);
    const std::size_t nameEnd = text.find_first_of("=;", pos);
    std::string name = Cp1252Lower(TrimWhiteSpace(text.substr(pos, nameEnd - pos)));
    pos = nameEnd;
    if (pos == std::string_view::npos || text[pos] == ';') {
      continue;  // a parameter without value carries nothing
    }
    ++pos;  // behind the "="
    SkipBlanks(text, pos);
    std::string value;
    if (pos < text.size() && text[pos] == '"') {
      value = QuotedString(text, pos);
      pos = text.find(';', pos);  // anything between the quote and ";" is noise
    } else {
      const std::size_t end = text.find(';', pos);
      value = TrimWhiteSpace(text.substr(pos, end - pos));
      pos = end;
    }
    if (!name.empty()) header.parameters.emplace_back(std::move(name), std::move(value));
  }
  return header;
}

}  // namespace meldrix
