#include "DdeText.h"

#include "platform/Cp1252.h"
#include "platform/DdeTypes.h"

namespace meldrix::ddetool {

namespace {

// UTF-8 to code points; a malformed byte stands for itself as Latin-1.
std::u32string DecodeUtf8(const std::string& s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    if (c < 0x80 || extra == 0 || i + extra >= s.size()) {
      out.push_back(c);
      ++i;
      continue;
    }
    char32_t cp = c & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (!ok) {
      out.push_back(c);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += extra + 1;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::string EncodeForWire(const std::string& utf8, std::uint16_t format) {
  if (format != CF_UNICODETEXT) return Utf8ToCp1252(utf8) + std::string(1, '\0');
  std::string out;
  auto put = [&out](char32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
  };
  for (char32_t cp : DecodeUtf8(utf8)) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  put(0);
  return out;
}

bool DecodeFromWire(const std::string& data, std::uint16_t format, std::string& utf8) {
  utf8.clear();
  if (format == CF_TEXT) {
    utf8 = Cp1252ToUtf8(data.substr(0, data.find('\0')));
    return true;
  }
  if (format != CF_UNICODETEXT) return false;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    char32_t unit = static_cast<unsigned char>(data[i]) |
                    (static_cast<unsigned char>(data[i + 1]) << 8);
    if (unit == 0) break;
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < data.size()) {
      char32_t low = static_cast<unsigned char>(data[i + 2]) |
                     (static_cast<unsigned char>(data[i + 3]) << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(utf8, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(utf8, unit);
  }
  return true;
}

}  // namespace meldrix::ddetool
