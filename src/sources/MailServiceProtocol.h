// The XML exchange with the local mail service: the texts of the four
// requests and the reading of a reply document. The service (tools/) reads
// the requests with the same reader.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace meldrix {

// Function names of the requests.
inline constexpr std::string_view kGetPOP3Msg = "GetPOP3Msg";
inline constexpr std::string_view kGetUnreadedMailsCount = "GetUnreadedMailsCount";
inline constexpr std::string_view kGetNewUnreadMail = "GetNewUnreadMail";
inline constexpr std::string_view kSetMailReaded = "SetMailReaded";

// The mailbox settings a registration carries.
struct MailboxSettings {
  std::string server;
  std::string port = "110";
  std::string user;
  std::string password;
  std::string sslMode = "1";
  std::string auth = "PLAIN";
};

// The name of a mailbox in the requests after the first: server, port and
// user written one after the other.
std::string MailServerKey(const MailboxSettings& mailbox);

// Request texts. `guid` is the request's GUID in registry form.
std::string GetPOP3MsgRequest(const MailboxSettings& mailbox, const std::string& guid);
std::string GetUnreadedMailsCountRequest(const std::string& serverKey, const std::string& guid);
std::string GetNewUnreadMailRequest(const std::string& serverKey, const std::string& guid);
std::string SetMailReadedRequest(const std::string& token, const std::string& serverKey, const std::string& guid);

// The element values of one document whose root holds the elements directly
// (requests and replies alike). Values are Windows-1252 text with character
// references resolved; a name that occurs twice keeps its first value.
class CMailXmlDocument {
 public:
  // Nothing when the text is not a well-formed document.
  static std::optional<CMailXmlDocument> Parse(std::string_view text);
  // True when the text already holds a whole document (a reply that came in
  // pieces is read until this holds).
  static bool IsComplete(std::string_view text);

  bool Has(std::string_view name) const;
  // The element's text, "" when missing.
  std::string Value(std::string_view name) const;
  // The element's value read as an integer (decimal, or hexadecimal after
  // "0x"); `missing` when the element is absent, 0 when it holds no number.
  long Integer(std::string_view name, long missing = 0) const;

 private:
  std::vector<std::pair<std::string, std::string>> values_;
};

// An integer text with automatic base: decimal, or hexadecimal after "0x"
// (after an optional sign); reading stops at the first other character.
long ParseAutoBaseInteger(std::string_view text);

// One reply document: the head, the elements (already escaped) and the end.
std::string MailXmlDocumentText(const std::vector<std::pair<std::string, std::string>>& elements);

// Escaping for element values a reply carries: the request escaping, and
// control characters (CR among them) as numeric references so they survive
// any XML reader.
std::string MailXmlEscapeText(std::string_view text);

}  // namespace meldrix
