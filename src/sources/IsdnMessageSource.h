// Kind 4: an ISDN source. Call data reach the engine as an internal source;
// the configured kind opens and delivers nothing.
#pragma once

#include "sources/SilentMessageSource.h"

namespace meldrix {

class CIsdnMessageSource : public CSilentMessageSource {};

}  // namespace meldrix
