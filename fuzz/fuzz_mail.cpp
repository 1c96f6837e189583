// A whole received mail (header and body, as a mail program writes it)
// through the sink's data phase: header fields, multipart structure,
// transfer encodings, encoded words, charsets, and the message lines the
// engine gets. The client's part (greeting, envelope, dot stuffing, the
// final dot) is added here, so the corpus holds plain mails.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "SmtpHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  fuzz::InstallEnv();
  const std::string_view mail(reinterpret_cast<const char*>(data), size);
  std::string session = "EHLO fuzz\r\nMAIL From:<sender@example.org>\r\nRCPT To:<alarm@example.org>\r\nDATA\r\n";
  session.reserve(session.size() + size * 2 + 16);
  bool lineStart = true;
  for (const char c : mail) {
    if (lineStart && c == '.') session += '.';
    session += c;
    lineStart = c == '\r' || c == '\n';
  }
  session += "\r\n.\r\nQUIT\r\n";
  MailServerSettings settings;
  fuzz::SmtpHarness smtp(settings, SmtpLimits{});
  smtp.Feed(session, session.size());
  return 0;
}
