// Trace output of the mail and socket code. Every trace of the SMTP sink, the
// mail decoders and the socket source goes through here, so the channel behind
// it is chosen in one place.
#pragma once

#include <cstdint>

namespace meldrix {

inline constexpr std::uint32_t kTraceSocketReceive = 0x20000;  // socket receive errors
inline constexpr std::uint32_t kTraceMail = 0x80000;           // SMTP dialogue and mail decoding

void MailTrace(std::uint32_t category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace meldrix
