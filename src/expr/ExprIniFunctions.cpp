// INILOOKUP and INIWRITE on configuration-style files.
#include "expr/ExprParser.h"

namespace meldrix {

// The private-profile layer is not part of the build yet: until it is, a
// lookup finds nothing ("") and a write reports failure (0).
ExprValue yy_parse::IniLookup(ExprValue section, ExprValue file, ExprValue key) {
  Take(section);
  Take(file);
  Take(key);
  return Str("");
}

ExprValue yy_parse::IniWrite(ExprValue file, ExprValue section, ExprValue key, ExprValue value) {
  Take(file);
  Take(section);
  Take(key);
  Take(value);
  return Active() ? MakeInteger(0) : MakeInteger(1);
}

}  // namespace meldrix
