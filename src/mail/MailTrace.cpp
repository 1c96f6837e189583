#include "mail/MailTrace.h"

#include <cstdarg>

namespace meldrix {

void MailTrace(std::uint32_t category, const char* format, ...) {
  // No trace channel is linked in yet; the arguments are still checked by the
  // format attribute so the call sites stay correct.
  (void)category;
  (void)format;
}

}  // namespace meldrix
