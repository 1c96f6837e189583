// INILOOKUP and INIWRITE on configuration-style files, through the
// private-profile layer. INILOOKUP takes the section first, then the file;
// INIWRITE the file first.
#include "expr/ExprParser.h"
#include "platform/PrivateProfile.h"

namespace meldrix {

ExprValue yy_parse::IniLookup(ExprValue section, ExprValue file, ExprValue key) {
  std::string sectionName = Take(section);
  std::string path = Take(file);
  std::string keyName = Take(key);
  if (!Active() || path.empty()) return Str("");
  return Str(PrivateProfile::GetString(path, sectionName, keyName, ""));
}

ExprValue yy_parse::IniWrite(ExprValue file, ExprValue section, ExprValue key, ExprValue value) {
  std::string path = Take(file);
  std::string sectionName = Take(section);
  std::string keyName = Take(key);
  std::string text = Take(value);
  if (!Active()) return MakeInteger(1);
  if (path.empty()) return MakeInteger(0);
  return MakeInteger(PrivateProfile::WriteString(path, sectionName, keyName, text) ? 1 : 0);
}

}  // namespace meldrix
