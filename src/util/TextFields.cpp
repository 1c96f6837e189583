#include "util/TextFields.h"

namespace meldrix {
namespace {

// Finds the end of the field that starts at `start`: the position of the next
// separator outside a quoted stretch, or npos when the field runs to the end.
size_t FieldEnd(std::string_view text, size_t start, std::string_view separator, bool quotes) {
  bool quoted = false;
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (quotes && c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == separator[0] && text.compare(i, separator.size(), separator) == 0) {
      return i;
    }
  }
  return std::string_view::npos;
}

std::string_view StripQuotes(std::string_view field) {
  if (!field.empty() && field.front() == '"') field.remove_prefix(1);
  if (!field.empty() && field.back() == '"') field.remove_suffix(1);
  return field;
}

// Calls visit(field) for each field until it returns false.
template <typename Visit>
void ForEachField(std::string_view text, std::string_view separator, bool quotes, Visit visit) {
  if (text.empty()) return;
  if (separator.empty()) {
    visit(quotes ? StripQuotes(text) : text);
    return;
  }
  size_t start = 0;
  for (;;) {
    const size_t end = FieldEnd(text, start, separator, quotes);
    std::string_view field = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
    if (!visit(quotes ? StripQuotes(field) : field)) return;
    if (end == std::string_view::npos) return;
    start = end + separator.size();
  }
}

}  // namespace

size_t SplitFieldsBy(std::string_view text, std::vector<std::string>& fields,
                     std::string_view separator, bool quotes) {
  const size_t before = fields.size();
  ForEachField(text, separator, quotes, [&](std::string_view field) {
    fields.emplace_back(field);
    return true;
  });
  return fields.size() - before;
}

size_t SplitFields(std::string_view text, std::vector<std::string>& fields, char separator,
                   bool quotes) {
  return SplitFieldsBy(text, fields, std::string_view(&separator, 1), quotes);
}

std::string GetField(std::string_view text, long n, char separator, bool quotes) {
  if (n < 1) return {};
  if (separator == ',' && text.find(',') == std::string_view::npos) separator = ';';
  std::string result;
  long index = 0;
  ForEachField(text, std::string_view(&separator, 1), quotes, [&](std::string_view field) {
    if (++index < n) return true;
    result.assign(field);
    return false;
  });
  return result;
}

std::string JoinFields(const std::vector<std::string>& fields, std::string_view separator,
                       bool quotes) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += separator;
    const std::string& field = fields[i];
    // An empty separator is contained in every text; quoting would only add noise.
    if (quotes && !separator.empty() && field.find(separator) != std::string::npos) {
      const char quote = field.find('"') == std::string::npos ? '"' : '\'';
      out += quote;
      out += field;
      out += quote;
    } else {
      out += field;
    }
  }
  return out;
}

}  // namespace meldrix
