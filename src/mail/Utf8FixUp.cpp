#include "mail/Utf8FixUp.h"

#include <array>
#include <utility>

namespace meldrix {
namespace {

struct Pair {
  unsigned char second;  // second byte of the UTF-8 form
  unsigned char single;  // Windows-1252 byte
};

constexpr std::array<Pair, 3> kLeadC2{{{0xB0, 0xB0}, {0xB1, 0xB1}, {0xB5, 0xB5}}};
constexpr std::array<Pair, 9> kLeadC3{{{0xA4, 0xE4},
                                       {0x84, 0xC4},
                                       {0xB6, 0xF6},
                                       {0x96, 0xD6},
                                       {0xBC, 0xFC},
                                       {0x9C, 0xDC},
                                       {0x9F, 0xDF},
                                       {0x98, 0xD8},
                                       {0xB8, 0xF8}}};

template <std::size_t N>
std::string ReplacePairs(std::string_view text, unsigned char lead, const std::array<Pair, N>& table) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == lead && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      bool mapped = false;
      for (const Pair& p : table) {
        if (p.second == next) {
          out.push_back(static_cast<char>(p.single));
          ++i;
          mapped = true;
          break;
        }
      }
      if (mapped) continue;
    }
    out.push_back(static_cast<char>(c));
  }
  return out;
}

char HexDigit(unsigned v) { return "0123456789ABCDEF"[v & 0xF]; }

template <std::size_t N>
std::string ReplaceQuotedPairs(std::string_view text, std::string_view lead,
                               const std::array<Pair, N>& table) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    // "=C3=BC": the lead, then "=" and two upper-case hex digits.
    if (text.substr(i, lead.size()) == lead && i + lead.size() + 3 <= text.size() &&
        text[i + lead.size()] == '=') {
      const std::string_view hex = text.substr(i + lead.size() + 1, 2);
      bool mapped = false;
      for (const Pair& p : table) {
        const char pairHex[2] = {HexDigit(p.second >> 4), HexDigit(p.second)};
        if (hex == std::string_view(pairHex, 2)) {
          out += '=';
          out += HexDigit(p.single >> 4);
          out += HexDigit(p.single);
          i += lead.size() + 3;
          mapped = true;
          break;
        }
      }
      if (mapped) continue;
    }
    out.push_back(text[i]);
    ++i;
  }
  return out;
}

}  // namespace

std::string Utf8FixUp(std::string_view text) {
  std::string out(text);
  if (out.find('\xC2') != std::string::npos) out = ReplacePairs(out, 0xC2, kLeadC2);
  if (out.find('\xC3') != std::string::npos) out = ReplacePairs(out, 0xC3, kLeadC3);
  return out;
}

std::string QuotedPrintableUtf8Mapping(std::string_view text) {
  std::string out(text);
  if (out.find("=C2=") != std::string::npos) out = ReplaceQuotedPairs(out, "=C2", kLeadC2);
  if (out.find("=C3=") != std::string::npos) out = ReplaceQuotedPairs(out, "=C3", kLeadC3);
  return out;
}

}  // namespace meldrix
