// A mail as a POP3 server hands it out (header, blank line, body) read into
// the program's mail model and decoded by its mail parser.
#pragma once

#include <string>
#include <string_view>

#include "mail/MailMessage.h"

namespace meldrix::mailservice {

struct DecodedMail {
  std::string subject;  // Windows-1252 text
  std::string body;     // the plain text (or the text of the HTML part)
  std::string to;       // the To header, encoded words decoded
  std::string from;     // the From header, encoded words decoded
};

DecodedMail DecodeRawMail(std::string_view raw);

}  // namespace meldrix::mailservice
