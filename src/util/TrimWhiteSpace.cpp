#include "util/TrimWhiteSpace.h"

namespace meldrix {

std::string TrimWhiteSpace(std::string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace meldrix
