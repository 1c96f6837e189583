// One received mail: the header fields the SMTP sink keeps and the body, and
// the decoding that turns it into readable Windows-1252 text.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/DateTime.h"

namespace meldrix {

struct CMailAddress {
  std::string address;
  std::string name;
  // "name <address>", or the address alone when there is no name.
  std::string DisplayForm() const;
};

class CMailMessage {
 public:
  enum RecipientType { To = 0, Cc = 1, Bcc = 2 };

  std::string sender;
  std::string subject;
  DateTime date = DateTime::Null();  // the Date header read as a date-time
  std::string dateText;              // the Date header as received
  std::string messageId;
  std::string mailer;
  std::string contentType;       // top-level content type
  std::string transferEncoding;  // top-level Content-Transfer-Encoding
  std::string body;              // plain-text content
  std::string htmlBody;          // content of a text/html part
  std::string attachmentName;    // file name of the last attachment part seen

  void Clear();

  void AddRecipient(std::string address, std::string name = {}, RecipientType type = To);
  std::size_t RecipientCount(RecipientType type = To) const { return recipients_[type].size(); }
  // Nothing for an index outside the list.
  std::optional<CMailAddress> GetRecipient(std::size_t index, RecipientType type = To) const;

  // Decodes the subject's first RFC 2047 encoded word.
  void DecodeSubject() { subject = DecodeEncodedWord(subject); }
  // Reduces a multipart body to its text parts and decodes the transfer
  // encoding. Runs once, when the mail is finished. The body is expected
  // without dot stuffing (the SMTP dialogue removes it line by line).
  void DecodeBody();

  static std::string DecodeEncodedWord(std::string_view text);
  // Decodes text by a transfer encoding name ("quoted-printable", "base64";
  // others leave it as it is), then makes it Windows-1252 (ToWindows1252).
  static std::string DecodeText(std::string_view text, std::string_view encoding,
                                std::string_view charset = {});
  // Decoded bytes as Windows-1252: declared UTF-8 is converted, everything
  // else gets the repair of common UTF-8 characters.
  static std::string ToWindows1252(std::string_view bytes, std::string_view charset);

 private:
  void DecodeSinglePart();
  void ParseMultipart();

  std::array<std::vector<CMailAddress>, 3> recipients_;
};

}  // namespace meldrix
