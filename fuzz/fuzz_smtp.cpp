// The SMTP dialogue of the mail sink, fed as a client would send it.
// Byte 0: bit 0 keeps the program's limits, else bytes 1 and 2 give small
// line and mail limits (so both are met often); bits 1-5 the mail settings.
// Byte 3: the size of the pieces the bytes arrive in.
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "SmtpHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  fuzz::InstallEnv();
  fuzz::SmtpHarness::WatchLimits();
  if (size < 4) return 0;
  SmtpLimits limits;
  if ((data[0] & 1) == 0) {
    limits.maxLineLength = 8 + std::size_t{data[1]} * 4;
    limits.maxMailSize = 16 + std::size_t{data[2]} * 16;
  }
  MailServerSettings settings;
  settings.UseSubject = (data[0] & 2) != 0;
  settings.UseBody = (data[0] & 4) == 0;
  settings.PackBody = (data[0] & 8) != 0;
  settings.IncMailFrom = (data[0] & 16) != 0;
  settings.IncMailTo = (data[0] & 32) != 0;
  fuzz::SmtpHarness smtp(settings, limits);
  smtp.Feed(std::string_view(reinterpret_cast<const char*>(data + 4), size - 4), data[3] + 1);
  return 0;
}
