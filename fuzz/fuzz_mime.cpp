// The MIME decoders of received mail: base64, quoted-printable (body and
// header form), encoded words, header parameters, the text of HTML parts and
// the UTF-8 repair. Byte 0 chooses the decoder; the rest is its input.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "mail/Base64.h"
#include "mail/HtmlPartText.h"
#include "mail/MailMessage.h"
#include "mail/MimeHeader.h"
#include "mail/QuotedPrintable.h"
#include "mail/Utf8FixUp.h"

namespace {

// A decoder keeps within the size it promises: the guard bytes stay.
void DecodeWithin(const meldrix::CMIMECode& code, std::string_view source) {
  const std::size_t room = code.MaxDecodedSize(source.size());
  std::vector<char> buffer(room + 16, '\x5A');
  const std::size_t written = code.Decode(source, std::span<char>(buffer.data(), room));
  if (written > room) std::abort();
  for (std::size_t i = room; i < buffer.size(); ++i)
    if (buffer[i] != '\x5A') std::abort();
  if (code.Decode(source) != std::string_view(buffer.data(), written)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  if (size < 1) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 8) {
    case 0: DecodeWithin(CBase64(), text); break;
    case 1: DecodeWithin(CQuotedPrintable(CQuotedPrintable::Underscore::kBlank), text); break;
    case 2: DecodeWithin(CQuotedPrintable(CQuotedPrintable::Underscore::kLiteral), text); break;
    case 3: (void)CMailMessage::DecodeEncodedWord(text); break;
    case 4: {
      const CMimeHeader header = CMimeHeader::Parse(text);
      (void)header.Parameter("charset");
      (void)header.Parameter("boundary");
      break;
    }
    case 5: (void)HtmlPartToText(text); break;
    case 6:
      (void)Utf8FixUp(text);
      (void)QuotedPrintableUtf8Mapping(text);
      break;
    default: {
      // Encoding and charset names from the first line, the text after it.
      const std::size_t nl = text.find('\n');
      const std::string_view names = text.substr(0, nl);
      const std::string_view body = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
      const std::size_t semi = names.find(';');
      const std::string_view encoding = names.substr(0, semi);
      const std::string_view charset = semi == std::string_view::npos ? std::string_view{} : names.substr(semi + 1);
      (void)CMailMessage::DecodeText(body, encoding, charset);
      break;
    }
  }
  return 0;
}
