// The readable text of a text/html mail part, for mails that carry no
// text/plain part.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

// Drops markup, comments and the content of head, style and script; block
// ends (br, p, div, li, tr, h1-h6, hr) become line breaks; runs of white
// space become one blank, blank lines are dropped; entities are decoded last
// (HtmlToText), so "&lt;b&gt;" stays text. Lines are joined by "\r\n".
std::string HtmlPartToText(std::string_view html);

}  // namespace meldrix
