#include "sources/MailServiceProtocol.h"

#include <pugixml.hpp>

#include <cstdio>

#include "platform/Cp1252.h"
#include "util/XmlEscape.h"

namespace meldrix {
namespace {

constexpr std::string_view kDocumentHead = "<?xml version=\"1.0\" encoding=\"ansi\"?> <MailXML>";
constexpr std::string_view kDocumentEnd = "</MailXML>";

std::string Element(std::string_view name, std::string_view value) {
  std::string text;
  text.reserve(name.size() * 2 + value.size() + 5);
  text.append("<").append(name).append(">").append(value).append("</").append(name).append(">");
  return text;
}

// The head every request begins with.
std::string RequestHead(std::string_view function, const std::string& guid) {
  std::string text(kDocumentHead);
  text += Element("ProvID", "-1");
  text += Element("GUID", guid);
  text += Element("FKTName", function);
  text += Element("FktType", "INT");
  return text;
}

// Literal carriage returns stay as they are: a body's line ends are part of
// the text.
constexpr unsigned kParseOptions = (pugi::parse_default | pugi::parse_ws_pcdata) & ~pugi::parse_eol;

}  // namespace

std::string MailServerKey(const MailboxSettings& mailbox) { return mailbox.server + mailbox.port + mailbox.user; }

std::string GetPOP3MsgRequest(const MailboxSettings& mailbox, const std::string& guid) {
  std::string text = RequestHead(kGetPOP3Msg, guid);
  text += Element("Server", XmlEscape(mailbox.server));
  text += Element("Port", mailbox.port);
  text += Element("User", XmlEscape(mailbox.user));
  text += Element("Pass", XmlEscape(mailbox.password));
  text += Element("Timeout", "10000");
  text += Element("SSLMode", mailbox.sslMode);
  text += Element("Auth", mailbox.auth);
  return text += kDocumentEnd;
}

std::string GetUnreadedMailsCountRequest(const std::string& serverKey, const std::string& guid) {
  return RequestHead(kGetUnreadedMailsCount, guid) + Element("ServerKey", XmlEscape(serverKey)) +
         std::string(kDocumentEnd);
}

std::string GetNewUnreadMailRequest(const std::string& serverKey, const std::string& guid) {
  return RequestHead(kGetNewUnreadMail, guid) + Element("ServerKey", XmlEscape(serverKey)) +
         std::string(kDocumentEnd);
}

std::string SetMailReadedRequest(const std::string& token, const std::string& serverKey, const std::string& guid) {
  return RequestHead(kSetMailReaded, guid) + Element("Token", XmlEscape(token)) +
         Element("ServerKey", XmlEscape(serverKey)) + std::string(kDocumentEnd);
}

std::optional<CMailXmlDocument> CMailXmlDocument::Parse(std::string_view text) {
  // The documents are Windows-1252 whatever they declare ("ansi"); the
  // reader works in UTF-8, so the bytes go there and back again.
  const std::string utf8 = Cp1252ToUtf8(text);
  pugi::xml_document document;
  const pugi::xml_parse_result result =
      document.load_buffer(utf8.data(), utf8.size(), kParseOptions, pugi::encoding_utf8);
  if (!result) return std::nullopt;
  // One root element: the reader would take a second one after it.
  const pugi::xml_node root = document.document_element();
  if (!root) return std::nullopt;
  for (pugi::xml_node next = root.next_sibling(); next; next = next.next_sibling())
    if (next.type() == pugi::node_element || next.type() == pugi::node_pcdata) return std::nullopt;
  CMailXmlDocument parsed;
  for (const pugi::xml_node element : root.children()) {
    if (element.type() != pugi::node_element) continue;
    std::string value;
    for (const pugi::xml_node part : element.children())
      if (part.type() == pugi::node_pcdata || part.type() == pugi::node_cdata) value += part.value();
    if (!parsed.Has(element.name())) parsed.values_.emplace_back(element.name(), Utf8ToCp1252(value));
  }
  return parsed;
}

bool CMailXmlDocument::IsComplete(std::string_view text) {
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  if (last == std::string_view::npos || text[last] != '>') return false;
  return Parse(text).has_value();
}

bool CMailXmlDocument::Has(std::string_view name) const {
  for (const auto& [key, value] : values_)
    if (key == name) return true;
  return false;
}

std::string CMailXmlDocument::Value(std::string_view name) const {
  for (const auto& [key, value] : values_)
    if (key == name) return value;
  return {};
}

long CMailXmlDocument::Integer(std::string_view name, long missing) const {
  return Has(name) ? ParseAutoBaseInteger(Value(name)) : missing;
}

long ParseAutoBaseInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  // Saturates instead of overflowing on absurd values.
  constexpr long long kLimit = 0x7FFFFFFF;
  long long value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      break;
    value = value * base + digit;
    if (value > kLimit) value = kLimit;
  }
  return static_cast<long>(negative ? -value : value);
}

std::string MailXmlDocumentText(const std::vector<std::pair<std::string, std::string>>& elements) {
  std::string text(kDocumentHead);
  for (const auto& [name, value] : elements) text += Element(name, value);
  return text += kDocumentEnd;
}

std::string MailXmlEscapeText(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  std::size_t plainStart = 0;
  const auto flushPlain = [&](std::size_t end) {
    if (end > plainStart) escaped += XmlEscape(text.substr(plainStart, end - plainStart));
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 32 || c == '\t' || c == '\n') continue;
    flushPlain(i);
    plainStart = i + 1;
    if (c == 0) continue;  // no reader keeps a zero byte inside a text
    char reference[8];
    std::snprintf(reference, sizeof reference, "&#%u;", static_cast<unsigned>(c));
    escaped += reference;
  }
  flushPlain(text.size());
  return escaped;
}

}  // namespace meldrix
