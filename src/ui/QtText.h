// Texts between the engine (Windows-1252 bytes) and Qt (UTF-16).
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "platform/Cp1252.h"
#include "util/StringTable.h"

namespace meldrix {

inline QString FromCp1252(std::string_view text) {
  std::u16string wide = Cp1252ToUtf16(text);
  return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

inline std::string ToCp1252(const QString& text) {
  return Utf16ToCp1252(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())));
}

// A text of the string tables in the current language.
inline QString UiText(std::string_view id) { return FromCp1252(LoadText(id)); }

}  // namespace meldrix
