// Kind 3: a DDE source. Texts of the DDE topic reach the engine as an
// internal source; the configured kind opens and delivers nothing.
#pragma once

#include "sources/SilentMessageSource.h"

namespace meldrix {

class CDdeMessageSource : public CSilentMessageSource {};

}  // namespace meldrix
