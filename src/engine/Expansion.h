// Expression expansion of configured texts and receivers: every "{{...}}"
// block is replaced by its value, computed with the engine's variables. This
// is the one function the engine calls for it.
#pragma once

#include <string>
#include <string_view>

#include "engine/VariableStore.h"

namespace meldrix {

// Until the expression language is built in, texts pass unchanged.
std::string ExpandText(std::string_view text, IVariableStore& variables);

}  // namespace meldrix
