#include "mail/HtmlPartText.h"

#include <array>
#include <cctype>

#include "platform/Cp1252.h"
#include "util/HtmlText.h"

namespace meldrix {
namespace {

// The tag's name in lower case, without "/" ("p" for "</P >").
std::string TagName(std::string_view tag) {
  std::size_t pos = 1;
  if (pos < tag.size() && tag[pos] == '/') ++pos;
  std::size_t end = pos;
  while (end < tag.size() && std::isalnum(static_cast<unsigned char>(tag[end]))) ++end;
  return Cp1252Lower(tag.substr(pos, end - pos));
}

bool EndsLine(const std::string& name) {
  static constexpr std::array<std::string_view, 13> kBlockTags = {"br", "p",  "div", "li", "tr", "h1", "h2",
                                                                   "h3", "h4", "h5",  "h6", "hr", "table"};
  for (std::string_view tag : kBlockTags)
    if (name == tag) return true;
  return false;
}

bool HidesContent(const std::string& name) { return name == "head" || name == "style" || name == "script"; }

// Whitespace of each line collapsed, empty lines dropped.
std::string TidyLines(std::string_view text) {
  std::string result;
  std::string line;
  auto finishLine = [&] {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (line.empty()) return;
    if (!result.empty()) result += "\r\n";
    result += line;
    line.clear();
  };
  for (const char c : text) {
    if (c == '\n') {
      finishLine();
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  finishLine();
  return result;
}

}  // namespace

std::string HtmlPartToText(std::string_view html) {
  std::string text;
  std::string hiddenUntil;  // closing tag that ends hidden content
  std::size_t pos = 0;
  while (pos < html.size()) {
    if (html.compare(pos, 4, "<!--") == 0) {
      const std::size_t end = html.find("-->", pos + 4);
      pos = end == std::string_view::npos ? html.size() : end + 3;
      continue;
    }
    if (html[pos] != '<') {
      // Line ends of the source are layout, not text.
      if (hiddenUntil.empty()) text += html[pos] == '\r' || html[pos] == '\n' ? ' ' : html[pos];
      ++pos;
      continue;
    }
    const std::size_t end = html.find('>', pos);
    if (end == std::string_view::npos) break;  // a tag cut short carries no text
    const std::string_view tag = html.substr(pos, end + 1 - pos);
    const std::string name = TagName(tag);
    const bool closing = tag.size() > 1 && tag[1] == '/';
    pos = end + 1;
    if (!hiddenUntil.empty()) {
      if (closing && name == hiddenUntil) hiddenUntil.clear();
      continue;
    }
    if (!closing && HidesContent(name)) {
      hiddenUntil = name;
    } else if (EndsLine(name)) {
      text += '\n';
    }
  }
  return HtmlToText(TidyLines(text));
}

}  // namespace meldrix
