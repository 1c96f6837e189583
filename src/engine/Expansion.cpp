#include "engine/Expansion.h"

namespace meldrix {

std::string ExpandText(std::string_view text, IVariableStore& /*variables*/) {
  return std::string(text);
}

}  // namespace meldrix
