// The date reader: every written form users, devices and mail headers give.
// The program's reader runs under the German locale of the fuzzing
// environment; byte 0 picks the locale of the locale reader alone (bit 0:
// English, else German) and the ScanFields pattern length (bits 1-7); the
// rest is the text, the pattern its start.
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "util/DateTime.h"
#include "util/DateTimeParse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  fuzz::InstallEnv();
  if (size < 1) return 0;
  static const auto german = FixedLocaleInfo::German();
  static const auto english = FixedLocaleInfo::English();
  const LocaleInfo& locale = (data[0] & 1) ? *english : *german;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  DateTime value;
  (void)ParseDateTime(text, value);
  (void)ParseIsoDateTime(text, value);
  (void)ParseMailDateTime(text, value);
  (void)ParseLocaleDateTime(text, locale, value);
  int fields[8];
  const std::string_view pattern = text.substr(0, data[0] >> 1);
  (void)ScanFields(text.substr(pattern.size()), pattern, fields, 8);
  return 0;
}
