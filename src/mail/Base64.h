// Base64 decoding with the RFC 2045 alphabet.
#pragma once

#include "mail/MIMECode.h"

namespace meldrix {

class CBase64 : public CMIMECode {
 public:
  using CMIMECode::Decode;
  // Characters outside the alphabet (line ends, blanks) are skipped; "=" ends
  // the data. A final incomplete group gives the whole bytes it holds.
  std::size_t Decode(std::string_view source, std::span<char> destination) const override;
  std::size_t MaxDecodedSize(std::size_t sourceSize) const override { return sourceSize / 4 * 3 + 3; }
};

}  // namespace meldrix
