// Quoted-printable decoding of bodies and of Q encoded words in headers.
#pragma once

#include "mail/MIMECode.h"

namespace meldrix {

class CQuotedPrintable : public CMIMECode {
 public:
  // "_" stands for a blank only inside Q encoded words of headers; in a
  // body it is a literal character ("Wert_1").
  enum class Underscore { kBlank, kLiteral };

  explicit CQuotedPrintable(Underscore underscore = Underscore::kBlank) : underscore_(underscore) {}

  using CMIMECode::Decode;
  // "=" CR LF is a soft line break and is dropped; "=" and two hex digits give
  // that byte; an "=" with fewer than two characters behind it is dropped; "_"
  // as chosen above; every other byte is copied, so text that is not valid
  // quoted-printable passes through rather than being lost.
  std::size_t Decode(std::string_view source, std::span<char> destination) const override;
  std::size_t MaxDecodedSize(std::size_t sourceSize) const override { return sourceSize; }

 private:
  Underscore underscore_;
};

}  // namespace meldrix
