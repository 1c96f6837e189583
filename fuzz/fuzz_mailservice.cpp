// The mail service's XML replies (and requests, which the service reads with
// the same reader): a document split at its first line end into the part
// that arrived first and the rest, as a reply read in pieces.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sources/MailServiceProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)CMailXmlDocument::IsComplete(text.substr(0, text.find('\n')));
  (void)CMailXmlDocument::IsComplete(text);
  if (auto doc = CMailXmlDocument::Parse(text)) {
    for (const char* name : {"Function", "Result", "ErrorCode", "ErrorText", "MailCount", "Token",
                             "Subject", "Body", "From", "To", "Date"}) {
      (void)doc->Has(name);
      (void)doc->Value(name);
      (void)doc->Integer(name, -1);
    }
  }
  (void)ParseAutoBaseInteger(text);
  // A value written into a reply reads back unchanged, but for zero bytes,
  // which XML cannot carry and the escaping drops.
  const std::string value(text.substr(0, 200));
  const std::string reply = MailXmlDocumentText({{"Body", MailXmlEscapeText(value)}});
  std::string expected = value;
  std::erase(expected, '\0');
  auto back = CMailXmlDocument::Parse(reply);
  if (!back || back->Value("Body") != expected) std::abort();
  return 0;
}
