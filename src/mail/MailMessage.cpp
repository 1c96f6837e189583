#include "mail/MailMessage.h"

#include "mail/Base64.h"
#include "mail/LineTaker.h"
#include "mail/MailTrace.h"
#include "mail/QuotedPrintable.h"
#include "mail/Utf8FixUp.h"
#include "util/Cp1252.h"

namespace meldrix {
namespace {

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsWhite(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhite(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::size_t FindNoCase(std::string_view text, std::string_view part, std::size_t from = 0) {
  if (part.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = from; i + part.size() <= text.size(); ++i) {
    if (EqualsNoCaseAscii(text.substr(i, part.size()), part)) return i;
  }
  return std::string_view::npos;
}

// The value of a part header line: the text behind the name up to the first
// ";", white space cut.
std::string_view HeaderValue(std::string_view line, std::string_view name) {
  std::string_view value = line.substr(name.size());
  value = value.substr(0, value.find(';'));
  return Trim(value);
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

// A boundary parameter's value: up to ";", trimmed, enclosing quotes removed.
std::string BoundaryParameter(std::string_view afterKey) {
  std::string_view value = afterKey.substr(0, afterKey.find(';'));
  value = StripQuotes(Trim(value));
  std::string boundary(value);
  if (!StartsWith(boundary, "--")) boundary.insert(0, "--");
  return boundary;
}

// Lines up to (not including) the end line, joined by "\r\n".
std::string CollectPart(LineTaker& lines, const std::string& boundary, bool endAtClosing) {
  const std::string closing = boundary + "--";
  std::string text;
  bool first = true;
  std::string_view line;
  while (lines.Take(line)) {
    if (line == boundary || (endAtClosing && line == closing)) break;
    if (!first) text += "\r\n";
    text += line;
    first = false;
  }
  return text;
}

}  // namespace

std::string CMailAddress::DisplayForm() const {
  if (name.empty()) return address;
  return name + " <" + address + ">";
}

void CMailMessage::Clear() { *this = CMailMessage(); }

void CMailMessage::AddRecipient(std::string address, std::string name, RecipientType type) {
  recipients_[type].push_back(CMailAddress{std::move(address), std::move(name)});
}

std::optional<CMailAddress> CMailMessage::GetRecipient(std::size_t index, RecipientType type) const {
  if (index >= recipients_[type].size()) return std::nullopt;
  return recipients_[type][index];
}

std::string CMailMessage::DecodeEncodedWord(std::string_view text) {
  if (text.size() < 8) return std::string(text);

  const std::size_t wordStart = text.find("=?");
  if (wordStart == std::string_view::npos) return std::string(text);

  std::size_t encodedStart = std::string_view::npos;
  bool base64 = false;
  if (const std::size_t q = text.find("?Q?", wordStart + 2); q != std::string_view::npos) {
    encodedStart = q + 3;
  } else if (const std::size_t q2 = text.find("?q?", wordStart + 2); q2 != std::string_view::npos) {
    encodedStart = q2 + 3;
  } else if (const std::size_t b = FindNoCase(text, "=?utf-8?B?", wordStart); b != std::string_view::npos) {
    // Charset and encoding letters are case-insensitive in encoded words;
    // "=?utf-8?b?" is as common as "=?UTF-8?B?".
    encodedStart = b + 10;
    base64 = true;
  } else {
    return std::string(text);
  }

  std::size_t encodedEnd = text.find("?=", encodedStart);
  std::string_view rest;
  if (encodedEnd == std::string_view::npos) {
    encodedEnd = text.size();  // a word cut short: decode what there is
  } else {
    rest = text.substr(encodedEnd + 2);
  }
  const std::string_view encoded = text.substr(encodedStart, encodedEnd - encodedStart);

  std::string decoded;
  if (base64) {
    decoded = Utf8FixUp(CBase64().Decode(encoded));
  } else {
    decoded = CQuotedPrintable().Decode(QuotedPrintableUtf8Mapping(encoded));
  }
  std::string result(text.substr(0, wordStart));
  result += decoded;
  result += rest;
  return result;
}

std::string CMailMessage::DecodeText(std::string_view text, std::string_view encoding) {
  const std::string encodingText(encoding);
  MailTrace(kTraceMail, "DecodeText: ContentEncoding - %s \n", encodingText.c_str());
  std::string decoded;
  if (EqualsNoCaseAscii(encoding, "quoted-printable")) {
    decoded = CQuotedPrintable().Decode(QuotedPrintableUtf8Mapping(text));
  } else if (EqualsNoCaseAscii(encoding, "base64")) {
    MailTrace(kTraceMail, "DecodeText: Base64 detected\n");
    decoded = CBase64().Decode(text);
    MailTrace(kTraceMail, "DecodeText: Decoded: %s \n", decoded.c_str());
  } else {
    decoded = std::string(text);
  }
  return Utf8FixUp(decoded);
}

void CMailMessage::DecodeBody() {
  const std::size_t firstEnd = body.find("\r\n");
  const std::string_view firstLine = std::string_view(body).substr(0, firstEnd);
  const bool multipart = firstEnd != std::string::npos &&
                         (Contains(contentType, "multi-part") || Contains(contentType, "multipart") ||
                          Contains(firstLine, "multi-part") || Contains(firstLine, "multipart"));
  if (multipart) {
    ParseMultipart();
  } else {
    DecodeSinglePart();
  }
}

void CMailMessage::DecodeSinglePart() {
  // Undo the dot stuffing of the data phase: a line ".." is a "." line. Every
  // such line is unstuffed, also several in a row and the last one.
  std::string unstuffed;
  unstuffed.reserve(body.size());
  std::size_t pos = 0;
  while (true) {
    const std::size_t end = body.find("\r\n", pos);
    const std::string_view line =
        std::string_view(body).substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    unstuffed += line == ".." ? std::string_view(".") : line;
    if (end == std::string::npos) break;
    unstuffed += "\r\n";
    pos = end + 2;
  }
  body = std::move(unstuffed);
  MailTrace(kTraceMail, "MailMessage: BodyEncoding - %s \n", transferEncoding.c_str());
  body = DecodeText(body, transferEncoding);
}

void CMailMessage::ParseMultipart() {
  const std::string source = body;  // the parser takes lines from a copy
  LineTaker lines(source);

  // The top-level content type is searched first: it is the mail's own
  // header, while "boundary=" in the body may belong to a nested part.
  std::string boundary;
  std::string_view field = contentType;
  std::size_t key = field.find("boundary=");
  if (key == std::string_view::npos) {
    field = source;
    key = field.find("boundary=");
  }
  if (key != std::string_view::npos) {
    std::string_view value = field.substr(key + 9);
    value = value.substr(0, value.find('\r'));
    // A quoted boundary (boundary="...") is the common form; its quotes are
    // no part of the delimiter line.
    boundary = BoundaryParameter(value);
  }

  std::string_view line;
  bool found = false;
  while (lines.Take(line)) {
    if ((!boundary.empty() && line == boundary) || StartsWith(line, "------")) {
      boundary = std::string(line);
      found = true;
      break;
    }
  }
  if (!found) return;

  while (true) {
    std::string encoding = "quoted-printable";
    std::string type;
    bool headerComplete = false;
    while (lines.Take(line)) {
      if (line.empty()) {
        headerComplete = true;
        break;
      }
      if (StartsWith(line, "Content-Type:")) {
        type = std::string(HeaderValue(line, "Content-Type:"));
      } else if (StartsWith(line, "Content-Transfer-Encoding:")) {
        encoding = std::string(HeaderValue(line, "Content-Transfer-Encoding:"));
      } else if (StartsWith(line, "Content-disposition:")) {
        const std::string_view disposition = HeaderValue(line, "Content-disposition:");
        const std::size_t name = line.find("filename=");
        if (disposition == "attachment" && name != std::string_view::npos) {
          std::string_view value = line.substr(name + 9);
          attachmentName = std::string(StripQuotes(Trim(value.substr(0, value.find(';')))));
        }
      }
      if (StartsWith(type, "multipart/")) {
        if (const std::size_t b = line.find("boundary="); b != std::string_view::npos) {
          boundary = BoundaryParameter(line.substr(b + 9));
        }
      }
    }
    if (!headerComplete || type.empty()) return;

    if (type == "text/plain") {
      body = CollectPart(lines, boundary, true);
      MailTrace(kTraceMail, "MailMessage: ContentEncoding - %s \n", encoding.c_str());
      body = DecodeText(body, encoding);
    } else if (type == "text/html") {
      htmlBody = CollectPart(lines, boundary, false);
      MailTrace(kTraceMail, "MailMessage: ContentEncoding - %s \n", encoding.c_str());
      htmlBody = DecodeText(htmlBody, encoding);
    } else {
      while (lines.Take(line) && line != boundary) {
      }
    }
  }
}

}  // namespace meldrix
