#include "RawMail.h"

#include <vector>

#include "platform/Cp1252.h"
#include "util/TrimWhiteSpace.h"

namespace meldrix::mailservice {
namespace {

// Lines of the mail with any line end (CR LF, or a bare LF some stores keep).
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::size_t cut = end;
    if (cut > start && text[cut - 1] == '\r') --cut;
    lines.push_back(text.substr(start, cut - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

DecodedMail DecodeRawMail(std::string_view raw) {
  const std::vector<std::string_view> lines = SplitLines(raw);
  std::size_t index = 0;

  // The header, unfolded: a line that begins with white space continues the
  // field before it.
  std::vector<std::string> fields;
  for (; index < lines.size() && !lines[index].empty(); ++index) {
    const std::string_view line = lines[index];
    if ((line.front() == ' ' || line.front() == '\t') && !fields.empty())
      fields.back() += line;
    else
      fields.emplace_back(line);
  }
  if (index < lines.size()) ++index;  // the blank line

  CMailMessage mail;
  std::string to, from;
  for (const std::string& field : fields) {
    const std::size_t colon = field.find(':');
    if (colon == std::string::npos) continue;
    const std::string_view name = std::string_view(field).substr(0, colon);
    const std::string value = TrimWhiteSpace(std::string_view(field).substr(colon + 1));
    if (EqualsNoCaseAscii(name, "Subject"))
      mail.subject = value;
    else if (EqualsNoCaseAscii(name, "Content-Type"))
      mail.contentType = value;
    else if (EqualsNoCaseAscii(name, "Content-Transfer-Encoding"))
      mail.transferEncoding = value;
    else if (EqualsNoCaseAscii(name, "To"))
      to = value;
    else if (EqualsNoCaseAscii(name, "From"))
      from = value;
  }

  // The body as the SMTP side keeps it: lines joined by CR LF, dots already
  // unstuffed by the POP3 transfer.
  for (std::size_t i = index; i < lines.size(); ++i) {
    if (i > index) mail.body += "\r\n";
    mail.body += lines[i];
  }
  mail.DecodeSubject();
  mail.DecodeBody();

  DecodedMail decoded;
  decoded.subject = mail.subject;
  decoded.body = mail.body;
  decoded.to = CMailMessage::DecodeEncodedWord(to);
  decoded.from = CMailMessage::DecodeEncodedWord(from);
  return decoded;
}

}  // namespace meldrix::mailservice
