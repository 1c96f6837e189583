// Common base of the content-transfer decoders of received mail.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace meldrix {

class CMIMECode {
 public:
  virtual ~CMIMECode() = default;

  // Decodes source into destination and returns the number of bytes written.
  // Decoding never writes beyond destination; a destination of
  // MaxDecodedSize(source.size()) bytes always suffices.
  virtual std::size_t Decode(std::string_view source, std::span<char> destination) const = 0;
  virtual std::size_t MaxDecodedSize(std::size_t sourceSize) const = 0;

  // Convenience: the decoded text.
  std::string Decode(std::string_view source) const;
};

}  // namespace meldrix
