#include "mail/MailMessage.h"

#include "mail/Base64.h"
#include "mail/HtmlPartText.h"
#include "mail/LineTaker.h"
#include "mail/MimeHeader.h"
#include "util/Trace.h"
#include "mail/QuotedPrintable.h"
#include "mail/Utf8FixUp.h"
#include "platform/Cp1252.h"
#include "util/TrimWhiteSpace.h"

namespace meldrix {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::size_t FindNoCase(std::string_view text, std::string_view part) {
  for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
    if (EqualsNoCaseAscii(text.substr(i, part.size()), part)) return i;
  }
  return std::string_view::npos;
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

// A boundary parameter's value: up to ";", trimmed, enclosing quotes removed.
std::string BoundaryParameter(std::string_view afterKey) {
  const std::string trimmed = TrimWhiteSpace(afterKey.substr(0, afterKey.find(';')));
  std::string boundary(StripQuotes(trimmed));
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

// The value of a "charset=" parameter in a header line, or "".
std::string CharsetParameter(std::string_view line) {
  const std::size_t key = FindNoCase(line, "charset=");
  if (key == std::string_view::npos) return {};
  const std::string_view value = line.substr(key + 8);
  const std::string trimmed = TrimWhiteSpace(value.substr(0, value.find(';')));
  return std::string(StripQuotes(trimmed));
}

}  // namespace

namespace {

bool IsUtf8Charset(std::string_view charset) {
  return EqualsNoCaseAscii(charset, "utf-8") || EqualsNoCaseAscii(charset, "utf8");
}

// Quoted-printable text of a declared UTF-8 charset is decoded as it is and
// converted afterwards; the escape mapping serves text of unknown charset.
std::string DecodeQuotedPrintable(std::string_view text, std::string_view charset,
                                  CQuotedPrintable::Underscore underscore) {
  const CQuotedPrintable decoder(underscore);
  if (IsUtf8Charset(charset)) return decoder.Decode(text);
  return decoder.Decode(QuotedPrintableUtf8Mapping(text));
}

}  // namespace

std::string CMailMessage::ToWindows1252(std::string_view bytes, std::string_view charset) {
  // Text declared as UTF-8 is converted as a whole, so characters beyond the
  // fixed repair table (é, €, ...) arrive as well; anything else, and UTF-8
  // that is not valid, gets the fixed repair of common characters.
  if (IsUtf8Charset(charset) && IsValidUtf8(bytes)) {
    return Utf8ToCp1252(bytes);
  }
  return Utf8FixUp(bytes);
}

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

namespace {

struct EncodedWord {
  std::size_t start = 0;  // position of "=?"
  std::size_t end = 0;    // position behind "?=" (or the end of the text)
  std::string_view charset;
  std::string_view encoded;
  bool base64 = false;
};

// The next encoded word "=?charset?Q?text?=" or "=?charset?B?text?=" at or
// behind from (charset and encoding letter in any case).
std::optional<EncodedWord> FindEncodedWord(std::string_view text, std::size_t from) {
  for (std::size_t start = text.find("=?", from); start != std::string_view::npos;
       start = text.find("=?", start + 2)) {
    const std::size_t charsetEnd = text.find('?', start + 2);
    if (charsetEnd == std::string_view::npos || charsetEnd == start + 2) continue;
    const std::string_view charset = text.substr(start + 2, charsetEnd - start - 2);
    if (charset.find_first_of(" \t") != std::string_view::npos) continue;
    if (charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?') continue;
    const char letter = text[charsetEnd + 1];
    if (letter != 'Q' && letter != 'q' && letter != 'B' && letter != 'b') continue;
    EncodedWord word;
    word.start = start;
    word.charset = charset;
    word.base64 = letter == 'B' || letter == 'b';
    const std::size_t encodedStart = charsetEnd + 3;
    const std::size_t encodedEnd = text.find("?=", encodedStart);
    // A word cut short is decoded up to the end of the text.
    word.end = encodedEnd == std::string_view::npos ? text.size() : encodedEnd + 2;
    word.encoded = text.substr(encodedStart, (encodedEnd == std::string_view::npos ? text.size() : encodedEnd) -
                                                 encodedStart);
    return word;
  }
  return std::nullopt;
}

}  // namespace

std::string CMailMessage::DecodeEncodedWord(std::string_view text) {
  // Text outside encoded words that carries 8-bit bytes is raw UTF-8 as
  // clients send it (RFC 6532); it gets the same repair as a UTF-8 body.
  const auto raw = [](std::string_view piece) { return ToWindows1252(piece, "utf-8"); };
  if (text.size() < 8) return raw(text);
  // Every encoded word is decoded, so a subject folded into several words
  // reads as one text; white space between two words belongs to neither.
  std::string result;
  std::size_t pos = 0;
  bool afterWord = false;
  while (const std::optional<EncodedWord> word = FindEncodedWord(text, pos)) {
    const std::string_view between = text.substr(pos, word->start - pos);
    if (!afterWord || TrimWhiteSpace(between).size() != 0) result += raw(between);
    const std::string bytes = word->base64 ? CBase64().Decode(word->encoded)
                                           : DecodeQuotedPrintable(word->encoded, word->charset,
                                                                   CQuotedPrintable::Underscore::kBlank);
    result += ToWindows1252(bytes, word->charset);
    pos = word->end;
    afterWord = true;
  }
  result += raw(text.substr(pos));
  return result;
}

std::string CMailMessage::DecodeText(std::string_view text, std::string_view encoding, std::string_view charset) {
  const std::string encodingText(encoding);
  TraceMessage(kTraceMail, "DecodeText: ContentEncoding - %s \n", encodingText.c_str());
  std::string decoded;
  if (EqualsNoCaseAscii(encoding, "quoted-printable")) {
    decoded = DecodeQuotedPrintable(text, charset, CQuotedPrintable::Underscore::kLiteral);
  } else if (EqualsNoCaseAscii(encoding, "base64")) {
    TraceMessage(kTraceMail, "DecodeText: Base64 detected\n");
    decoded = CBase64().Decode(text);
    TraceMessage(kTraceMail, "DecodeText: Decoded: %s \n", decoded.c_str());
  } else {
    decoded = std::string(text);
  }
  return ToWindows1252(decoded, charset);
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
  // Dot lines need no unstuffing here: the SMTP data phase already removed
  // the stuffed dot of every line, for single-part and multipart mails alike.
  TraceMessage(kTraceMail, "MailMessage: BodyEncoding - %s \n", transferEncoding.c_str());
  body = DecodeText(body, transferEncoding, CharsetParameter(contentType));
}

void CMailMessage::ParseMultipart() {
  const std::string source = body;  // the parser takes lines from a copy
  LineTaker lines(source);

  // The top-level content type is searched first: it is the mail's own
  // header, while "boundary=" in the body may belong to a nested part.
  std::string boundary;
  if (const std::string own = CMimeHeader::Parse(contentType).Parameter("boundary"); !own.empty()) {
    boundary = BoundaryParameter(own);
  } else if (const std::size_t key = source.find("boundary="); key != std::string::npos) {
    std::string_view value = std::string_view(source).substr(key + 9);
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

  // From here on the body is MIME: only text parts give text, never the
  // boundary lines, part headers or encoded attachments.
  body.clear();
  bool plainFound = false;
  while (true) {
    std::vector<std::string> headers;  // unfolded
    bool headerComplete = false;
    while (lines.Take(line)) {
      if (line.empty()) {
        headerComplete = true;
        break;
      }
      if ((line.front() == ' ' || line.front() == '\t') && !headers.empty()) {
        headers.back() += line;
      } else {
        headers.emplace_back(line);
      }
    }
    if (!headerComplete) break;

    std::string encoding = "quoted-printable";
    std::string type;
    std::string charset;
    bool attachment = false;
    for (const std::string& header : headers) {
      const std::size_t colon = header.find(':');
      if (colon == std::string::npos) continue;
      const std::string name = TrimWhiteSpace(std::string_view(header).substr(0, colon));
      const CMimeHeader value = CMimeHeader::Parse(std::string_view(header).substr(colon + 1));
      if (EqualsNoCaseAscii(name, "Content-Type")) {
        type = Cp1252Lower(value.value);
        charset = value.Parameter("charset");
        const std::string nested = value.Parameter("boundary");
        if (StartsWith(type, "multipart/") && !nested.empty()) boundary = BoundaryParameter(nested);
      } else if (EqualsNoCaseAscii(name, "Content-Transfer-Encoding")) {
        encoding = value.value;
      } else if (EqualsNoCaseAscii(name, "Content-Disposition")) {
        attachment = EqualsNoCaseAscii(value.value, "attachment");
        if (const std::string file = value.Parameter("filename"); attachment && !file.empty()) attachmentName = file;
      }
    }
    if (type.empty()) break;

    if (type == "text/plain" && !attachment) {
      body = CollectPart(lines, boundary, true);
      TraceMessage(kTraceMail, "MailMessage: ContentEncoding - %s \n", encoding.c_str());
      body = DecodeText(body, encoding, charset);
      plainFound = true;
    } else if (type == "text/html" && !attachment) {
      htmlBody = CollectPart(lines, boundary, false);
      TraceMessage(kTraceMail, "MailMessage: ContentEncoding - %s \n", encoding.c_str());
      htmlBody = DecodeText(htmlBody, encoding, charset);
    } else {
      while (lines.Take(line) && line != boundary) {
      }
    }
  }
  if (!plainFound && !htmlBody.empty()) body = HtmlPartToText(htmlBody);
}

}  // namespace meldrix
