// Conversion between plain Windows-1252 text and HTML, for message texts
// written in HTML.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

// Replaces the characters of the entity table by their named entities. Without
// `table`, CR LF becomes "<br>" CR LF and TAB two "&nbsp;". With `table`, the
// text becomes table rows: TAB separates cells, CR LF rows, and the whole is
// wrapped in "<tr><td>" ... "</td></tr>" (the caller adds "<table>").
std::string TextToHtml(std::string_view text, bool table);

// Replaces the named entities of the table by their characters and "<br>" by
// CR LF; other markup stays. The text is decoded in one pass: what a
// replacement produces is not decoded again, so "&amp;lt;" becomes "&lt;".
std::string HtmlToText(std::string_view html);

}  // namespace meldrix
