// The fixed repair of common UTF-8 characters in Windows-1252 text: the
// German umlauts, ß, Ø, ø, °, ± and µ. Mail and message texts often arrive as
// UTF-8 although the engine works in Windows-1252; only these characters are
// mapped, everything else stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

// Replaces the two-byte UTF-8 forms (C2 B0, C2 B1, C2 B5, C3 A4, C3 84, C3 B6,
// C3 96, C3 BC, C3 9C, C3 9F, C3 98, C3 B8) by their single Windows-1252 bytes.
std::string Utf8FixUp(std::string_view text);

// The same mapping on quoted-printable text, before it is decoded:
// "=C3=BC" becomes "=FC" and so on.
std::string QuotedPrintableUtf8Mapping(std::string_view text);

}  // namespace meldrix
