#include "util/StringTable.h"

#include <array>
#include <atomic>
#include <map>
#include <mutex>

#include "platform/Cp1252.h"

namespace meldrix {

extern const std::string_view* const kEmbeddedStringTablesBegin;
extern const std::size_t kEmbeddedStringTablesCount;

namespace {

struct Entry {
  std::array<std::string, 3> texts;  // indexed by UiLanguage
  std::array<bool, 3> present{};
};

struct Tables {
  std::map<std::string, Entry, std::less<>> entries;
  std::string problems;
};

std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out += s[i];
      continue;
    }
    switch (s[++i]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += s[i]; break;
    }
  }
  return out;
}

Tables Parse() {
  Tables t;
  // Column order in the files: English, German, French.
  constexpr UiLanguage kColumns[3] = {UiLanguage::English, UiLanguage::German,
                                      UiLanguage::French};
  for (size_t f = 0; f < kEmbeddedStringTablesCount; ++f) {
    std::string_view data = kEmbeddedStringTablesBegin[f];
    size_t lineNo = 0;
    while (!data.empty()) {
      const size_t eol = data.find('\n');
      std::string_view line = data.substr(0, eol);
      data = eol == std::string_view::npos ? std::string_view() : data.substr(eol + 1);
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty() || line.front() == '#') continue;
      std::array<std::string_view, 5> cols{};
      size_t n = 0;
      while (n < cols.size()) {
        const size_t tab = line.find('\t');
        cols[n++] = line.substr(0, tab);
        if (tab == std::string_view::npos) break;
        line.remove_prefix(tab + 1);
      }
      const std::string id(cols[0]);
      if (n < 4) {
        t.problems += "table " + std::to_string(f) + " line " + std::to_string(lineNo) + ": " +
                      id + " lacks a language\n";
      }
      if (t.entries.count(id)) t.problems += "duplicate id " + id + "\n";
      Entry& e = t.entries[id];
      for (size_t c = 1; c < n && c <= 3; ++c) {
        const auto lang = static_cast<size_t>(kColumns[c - 1]);
        e.texts[lang] = Utf8ToCp1252(Unescape(cols[c]));
        e.present[lang] = true;
      }
    }
  }
  return t;
}

const Tables& GetTables() {
  static const Tables tables = Parse();
  return tables;
}

std::atomic<int> gLanguage{static_cast<int>(UiLanguage::English)};

}  // namespace

void SetUiLanguage(int index) {
  if (index >= 0 && index <= 2) gLanguage = index;
}

UiLanguage CurrentUiLanguage() { return static_cast<UiLanguage>(gLanguage.load()); }

std::string LoadText(std::string_view id, UiLanguage language) {
  const auto& entries = GetTables().entries;
  const auto it = entries.find(id);
  if (it == entries.end()) return std::string(id);
  const auto lang = static_cast<size_t>(language);
  if (it->second.present[lang]) return it->second.texts[lang];
  return it->second.texts[static_cast<size_t>(UiLanguage::English)];
}

std::string LoadText(std::string_view id) { return LoadText(id, CurrentUiLanguage()); }

bool CheckStringTables(std::string* problems) {
  const Tables& t = GetTables();
  std::string found = t.problems;
  for (const auto& [id, e] : t.entries)
    for (size_t l = 0; l < 3; ++l)
      if (!e.present[l] || e.texts[l].empty()) found += id + " has an empty or missing text\n";
  if (problems) *problems = found;
  return found.empty();
}

}  // namespace meldrix
