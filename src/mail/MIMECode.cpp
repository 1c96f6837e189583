#include "mail/MIMECode.h"

namespace meldrix {

std::string CMIMECode::Decode(std::string_view source) const {
  std::string out(MaxDecodedSize(source.size()), '\0');
  out.resize(Decode(source, std::span<char>(out.data(), out.size())));
  return out;
}

}  // namespace meldrix
