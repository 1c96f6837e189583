#include "engine/Expansion.h"

#include "expr/ExprEvaluator.h"

namespace meldrix {

std::string ExpandText(std::string_view text, IVariableStore& variables) {
  return ExpandText(text, variables.Storage(), false);
}

}  // namespace meldrix
