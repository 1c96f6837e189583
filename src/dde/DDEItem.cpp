#include "dde/DDEItem.h"

#include <algorithm>
#include <cstdlib>

#include "dde/DDEServer.h"
#include "dde/DDETopic.h"
#include "platform/Cp1252.h"

namespace meldrix {

CDDEItem::~CDDEItem() = default;

void CDDEItem::Create(const std::string& name, bool readOnly) {
  m_Name = name;
  m_ReadOnly = readOnly;
}

void CDDEItem::Changed() {
  CDDEServer* server = m_Topic ? m_Topic->GetServer() : nullptr;
  if (!server || !server->IsInitialized()) return;
  if (server->GetOwnerThread() != std::this_thread::get_id()) return;
  server->Instance()->PostAdvise(m_Topic->GetName(), m_Name);
}

bool CDDEItem::Request(std::uint16_t, std::string&) { return false; }
bool CDDEItem::Poke(std::uint16_t, const std::string&) { return false; }

bool CDDEItem::SupportsFormat(std::uint16_t format) const {
  auto formats = GetFormatList();
  return std::find(formats.begin(), formats.end(), format) != formats.end();
}

bool CDDEItem::AddAdvise(std::uint16_t format, DdeConv conv) {
  if (!SupportsFormat(format)) return false;
  m_AdviseList.push_back(conv);
  return true;
}

bool CDDEItem::RemoveAdvise(DdeConv conv) {
  auto it = std::find(m_AdviseList.begin(), m_AdviseList.end(), conv);
  if (it == m_AdviseList.end()) return false;
  m_AdviseList.erase(it);
  return true;
}

std::string DdeTextData(const std::string& ansi, std::uint16_t format) {
  if (format == CF_TEXT) return ansi + std::string(1, '\0');
  std::string out;
  for (char16_t unit : Cp1252ToUtf16(ansi)) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out + std::string(2, '\0');
}

bool DdeDataText(const std::string& data, std::uint16_t format, std::string& ansi) {
  if (format == CF_TEXT) {
    ansi = data.substr(0, data.find('\0'));
    return true;
  }
  if (format != CF_UNICODETEXT) return false;
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                          (static_cast<unsigned char>(data[i + 1]) << 8));
    if (unit == 0) break;
    wide.push_back(unit);
  }
  ansi = Utf16ToCp1252(wide);
  return true;
}

bool CDDEStringItem::Request(std::uint16_t format, std::string& data) {
  OnBeforeRequest();
  if (format != CF_TEXT && format != CF_UNICODETEXT) return false;
  data = DdeTextData(m_Value, format);
  return true;
}

bool CDDEStringItem::Poke(std::uint16_t format, const std::string& data) {
  if (IsReadOnly()) return false;
  std::string text;
  if (!DdeDataText(data, format, text)) return false;
  m_Value = text;
  m_WideValue = Cp1252ToUtf16(text);
  OnPoked();
  return true;
}

void CDDEStringItem::Clear() {
  if (m_Value.empty() && m_WideValue.empty()) return;
  m_Value.clear();
  m_WideValue.clear();
  Changed();
}

void CDDEStringItem::SetValue(const std::string& text) {
  if (text == m_Value) return;
  m_Value = text;
  m_WideValue = Cp1252ToUtf16(text);
  Changed();
}

void CDDENumericItem::SetNumber(long n) {
  if (n == GetNumber() && !m_Value.empty() && !m_WideValue.empty()) return;
  m_Value = std::to_string(n);
  m_WideValue = Cp1252ToUtf16(m_Value);
  Changed();
}

long CDDENumericItem::GetNumber() const { return std::strtol(m_Value.c_str(), nullptr, 0); }

std::string ClipboardFormatName(std::uint16_t format) {
  static const char* const kNames[] = {"",     "TEXT",    "BITMAP",  "METAFILEPICT", "SYLK",
                                       "DIF",  "TIFF",    "OEMTEXT", "DIB",          "PALETTE",
                                       "PENDATA", "RIFF", "WAVE",    "UNICODETEXT",  "ENHMETAFILE",
                                       "HDROP", "LOCALE"};
  return format < std::size(kNames) ? kNames[format] : "";
}

CDDEServer* CDDESystemItem::Server() const {
  return GetTopic() ? GetTopic()->GetServer() : nullptr;
}

bool CDDESystemItem::Answer(std::uint16_t format, const std::vector<std::string>& names,
                            std::string& data) {
  if (format != CF_TEXT && format != CF_UNICODETEXT) return false;
  std::string list;
  for (const std::string& name : names) {
    if (!list.empty()) list += '\t';
    list += name;
  }
  data = DdeTextData(list, format);
  return true;
}

bool CDDESystemItem_TopicList::Request(std::uint16_t format, std::string& data) {
  CDDEServer* server = Server();
  if (!server) return false;
  std::vector<std::string> names;
  for (const CDDETopic* topic : server->GetTopics()) names.push_back(topic->GetName());
  return Answer(format, names, data);
}

bool CDDESystemItem_ItemList::Request(std::uint16_t format, std::string& data) {
  CDDEServer* server = Server();
  if (!server) return false;
  std::vector<std::string> names;
  for (const CDDEItem* item : server->GetSystemTopic().GetItems()) names.push_back(item->GetName());
  return Answer(format, names, data);
}

bool CDDESystemItem_FormatList::Request(std::uint16_t format, std::string& data) {
  CDDEServer* server = Server();
  if (!server) return false;
  std::vector<std::uint16_t> seen;
  std::vector<std::string> names;
  for (const CDDEItem* item : server->GetSystemTopic().GetItems()) {
    for (std::uint16_t f : item->GetFormatList()) {
      if (std::find(seen.begin(), seen.end(), f) != seen.end()) continue;
      seen.push_back(f);
      names.push_back(ClipboardFormatName(f));
    }
  }
  return Answer(format, names, data);
}

}  // namespace meldrix
