// Quoted-printable decoding (bodies and Q encoded words alike).
#pragma once

#include "mail/MIMECode.h"

namespace meldrix {

class CQuotedPrintable : public CMIMECode {
 public:
  using CMIMECode::Decode;
  // "=" CR LF is a soft line break and is dropped; "=" and two hex digits give
  // that byte; an "=" with fewer than two characters behind it is dropped; "_"
  // gives a blank; every other byte is copied, so text that is not valid
  // quoted-printable passes through rather than being lost.
  std::size_t Decode(std::string_view source, std::span<char> destination) const override;
  std::size_t MaxDecodedSize(std::size_t sourceSize) const override { return sourceSize; }
};

}  // namespace meldrix
