// Windows-1252 text: case tables and conversion to and from UTF-8.
// Engine texts are Windows-1252 byte strings; these are the only case and
// charset conversions the program uses (never the C locale).
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

unsigned char Cp1252ToUpper(unsigned char c);
unsigned char Cp1252ToLower(unsigned char c);
std::string Cp1252Upper(std::string_view text);
std::string Cp1252Lower(std::string_view text);
// ASCII-only, case-insensitive equality (section and key names, switches).
bool EqualsNoCaseAscii(std::string_view a, std::string_view b);

// Unicode code point of a Windows-1252 byte. The five unassigned bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value so
// a round trip keeps every byte.
char32_t Cp1252ToUnicode(unsigned char c);
// Windows-1252 byte of a code point, or -1 when it has none.
int UnicodeToCp1252(char32_t cp);

std::string Cp1252ToUtf8(std::string_view text);
// Invalid UTF-8 sequences are taken byte by byte (each byte as Windows-1252),
// so nothing is dropped; code points without a Windows-1252 form become '?'.
std::string Utf8ToCp1252(std::string_view text);

// True when every byte sequence is valid UTF-8 and at least one multi-byte
// sequence occurs (the rule that tells a UTF-8 file from a Windows-1252 one).
bool LooksLikeUtf8(std::string_view text);
bool IsValidUtf8(std::string_view text);

// UTF-16 (host order) for Unicode clipboard formats and the like.
std::u16string Cp1252ToUtf16(std::string_view text);
std::string Utf16ToCp1252(std::u16string_view text);

}  // namespace meldrix
