// Expression expansion of configured texts and receivers: every "{{...}}"
// block is replaced by its value, computed with the engine's variables. This
// is the one function the engine and its sources call for it.
#pragma once

#include <string>
#include <string_view>

#include "engine/VariableStore.h"

namespace meldrix {

// A block whose expression fails expands to "" and leaves its message in
// "$ERROR"; the rest of the text is kept.
std::string ExpandText(std::string_view text, IVariableStore& variables);

}  // namespace meldrix
