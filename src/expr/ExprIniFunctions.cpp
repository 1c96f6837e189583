// INILOOKUP and INIWRITE on configuration-style files, through the
// private-profile layer. INILOOKUP takes the section first, then the file;
// INIWRITE the file first.
#include <string_view>

#include "expr/ExprFileNames.h"
#include "expr/ExprParser.h"
#include "platform/PrivateProfile.h"

namespace meldrix {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Texts from messages reach INIWRITE; none may write lines of its own into
// the file (a section header, a key, a comment), or a message could switch
// settings such as AutoActivate. Such a write is refused as a whole.
bool WritesOneLine(std::string_view section, std::string_view key, std::string_view value) {
  constexpr std::string_view kBreaks = "\r\n";
  if (section.find_first_of(kBreaks) != std::string_view::npos ||
      key.find_first_of(kBreaks) != std::string_view::npos ||
      value.find_first_of(kBreaks) != std::string_view::npos)
    return false;
  if (section.find(']') != std::string_view::npos) return false;
  const std::string_view name = TrimBlanks(key);
  if (name.find('=') != std::string_view::npos) return false;
  return name.empty() || (name.front() != '[' && name.front() != ';');
}

}  // namespace

ExprValue yy_parse::IniLookup(ExprValue section, ExprValue file, ExprValue key) {
  std::string sectionName = Take(section);
  std::string path = Take(file);
  std::string keyName = Take(key);
  if (!Active() || path.empty()) return Str("");
  return Str(PrivateProfile::GetString(ExprFileSystemName(path), sectionName, keyName, ""));
}

ExprValue yy_parse::IniWrite(ExprValue file, ExprValue section, ExprValue key, ExprValue value) {
  std::string path = Take(file);
  std::string sectionName = Take(section);
  std::string keyName = Take(key);
  std::string text = Take(value);
  if (!Active()) return MakeInteger(1);
  if (path.empty() || !WritesOneLine(sectionName, keyName, text)) return MakeInteger(0);
  return MakeInteger(
      PrivateProfile::WriteString(ExprFileSystemName(path), sectionName, keyName, text) ? 1 : 0);
}

}  // namespace meldrix
