#include "util/XmlEscape.h"

namespace meldrix {
namespace {

// The replacements hold only ASCII, and "&" comes first, so a single pass
// equals replacing the pairs one after another.
const char* Replacement(unsigned char c) {
  switch (c) {
    case '&': return "&#x26;";
    case '\'': return "&apos;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case 0xC4: return "&#196;";
    case 0xD6: return "&#214;";
    case 0xDC: return "&#220;";
    case 0xE4: return "&#228;";
    case 0xF6: return "&#246;";
    case 0xFC: return "&#252;";
    case 0xDF: return "&#223;";
    default: return nullptr;
  }
}

}  // namespace

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (const char* r = Replacement(static_cast<unsigned char>(c)))
      out += r;
    else
      out += c;
  }
  return out;
}

}  // namespace meldrix
