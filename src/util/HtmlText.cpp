#include "util/HtmlText.h"

#include <algorithm>
#include <array>

namespace meldrix {
namespace {

struct Entity {
  const char* name;
  unsigned char character;
};

// The order matters for decoding only where one name is a prefix of another,
// which none is; it is kept as the table is known.
constexpr Entity kEntities[] = {
    {"&amp;", '&'},       {"&lt;", '<'},        {"&gt;", '>'},        {"&quot;", '"'},
    {"&nbsp;", 0xA0},     {"&shy;", 0xAD},
    {"&Agrave;", 0xC0},   {"&agrave;", 0xE0},   {"&Aacute;", 0xC1},   {"&aacute;", 0xE1},
    {"&Acirc;", 0xC2},    {"&acirc;", 0xE2},    {"&Atilde;", 0xC3},   {"&atilde;", 0xE3},
    {"&Auml;", 0xC4},     {"&auml;", 0xE4},     {"&Aring;", 0xC5},    {"&aring;", 0xE5},
    {"&AElig;", 0xC6},    {"&aelig;", 0xE6},    {"&Ccedil;", 0xC7},   {"&ccedil;", 0xE7},
    {"&Egrave;", 0xC8},   {"&egrave;", 0xE8},   {"&Eacute;", 0xC9},   {"&eacute;", 0xE9},
    {"&Ecirc;", 0xCA},    {"&ecirc;", 0xEA},    {"&Euml;", 0xCB},     {"&euml;", 0xEB},
    {"&Igrave;", 0xCC},   {"&igrave;", 0xEC},   {"&Iacute;", 0xCD},   {"&iacute;", 0xED},
    {"&Icirc;", 0xCE},    {"&icirc;", 0xEE},    {"&Iuml;", 0xCF},     {"&iuml;", 0xEF},
    {"&ETH;", 0xD0},      {"&eth;", 0xF0},      {"&Ntilde;", 0xD1},   {"&ntilde;", 0xF1},
    {"&Ograve;", 0xD2},   {"&ograve;", 0xF2},   {"&Oacute;", 0xD3},   {"&oacute;", 0xF3},
    {"&Ocirc;", 0xD4},    {"&ocirc;", 0xF4},    {"&Otilde;", 0xD5},   {"&otilde;", 0xF5},
    {"&Ouml;", 0xD6},     {"&ouml;", 0xF6},     {"&Oslash;", 0xD8},   {"&oslash;", 0xF8},
    {"&Ugrave;", 0xD9},   {"&ugrave;", 0xF9},   {"&Uacute;", 0xDA},   {"&uacute;", 0xFA},
    {"&Ucirc;", 0xDB},    {"&ucirc;", 0xFB},    {"&Uuml;", 0xDC},     {"&uuml;", 0xFC},
    {"&Yacute;", 0xDD},   {"&yacute;", 0xFD},   {"&THORN;", 0xDE},    {"&thorn;", 0xFE},
    {"&szlig;", 0xDF},    {"&yuml;", 0xFF},
    {"&iexcl;", 0xA1},    {"&cent;", 0xA2},     {"&pound;", 0xA3},    {"&curren;", 0xA4},
    {"&yen;", 0xA5},      {"&brvbar;", 0xA6},   {"&sect;", 0xA7},     {"&copy;", 0xA9},
    {"&laquo;", 0xAB},    {"&reg;", 0xAE},      {"&deg;", 0xB0},      {"&plusmn;", 0xB1},
    {"&sup2;", 0xB2},     {"&sup3;", 0xB3},     {"&acute;", 0xB4},    {"&micro;", 0xB5},
    {"&para;", 0xB6},     {"&middot;", 0xB7},   {"&cedil;", 0xB8},    {"&raquo;", 0xBB},
    {"&frac14;", 0xBC},   {"&frac12;", 0xBD},   {"&frac34;", 0xBE},   {"&iquest;", 0xBF},
    {"&times;", 0xD7},    {"&divide;", 0xF7},
};
static_assert(std::size(kEntities) == 94);
constexpr size_t kLongestEntity = [] {
  size_t longest = 0;
  for (const Entity& e : kEntities) longest = std::max(longest, std::string_view(e.name).size());
  return longest;
}();

// Entity name by character. The table's replacements hold only ASCII letters,
// digits, "&" and ";", and "&" is replaced first, so one pass over the text
// gives what replacing the table's pairs one after another gives.
struct EncodeTable {
  std::array<const char*, 256> entity{};
  constexpr EncodeTable() {
    for (const Entity& e : kEntities) entity[e.character] = e.name;
  }
};
constexpr EncodeTable kEncode;

bool StartsWithAt(std::string_view text, size_t at, std::string_view what) {
  return text.compare(at, what.size(), what) == 0;
}

}  // namespace

std::string TextToHtml(std::string_view text, bool table) {
  std::string out;
  out.reserve(text.size() + text.size() / 4 + 32);
  if (table) out += "<tr><td>";
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += table ? "</td></tr>\r\n<tr><td>" : "<br>\r\n";
      ++i;
    } else if (c == '\t') {
      out += table ? "</td><td>" : "&nbsp;&nbsp;";
    } else if (const char* entity = kEncode.entity[static_cast<unsigned char>(c)]) {
      out += entity;
    } else {
      out += c;
    }
  }
  if (table) out += "</td></tr>";
  return out;
}

std::string HtmlToText(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  for (size_t i = 0; i < html.size();) {
    if (html[i] == '&') {
      // Every name ends with the first ";" after its "&".
      const size_t semicolon = html.substr(i, kLongestEntity).find(';');
      if (semicolon != std::string_view::npos) {
        const std::string_view candidate = html.substr(i, semicolon + 1);
        const Entity* found = nullptr;
        for (const Entity& e : kEntities) {
          if (candidate == e.name) {
            found = &e;
            break;
          }
        }
        if (found) {
          out += static_cast<char>(found->character);
          i += candidate.size();
          continue;
        }
      }
    } else if (html[i] == '<' && StartsWithAt(html, i, "<br>")) {
      out += "\r\n";
      i += 4;
      continue;
    }
    out += html[i++];
  }
  return out;
}

}  // namespace meldrix
