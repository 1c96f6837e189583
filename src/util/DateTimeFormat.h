// Writing DateTime values: by a %-pattern, in the user's locale, and the ISO
// 8601 week number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/DateTime.h"

namespace meldrix {

// Pieces of the locale formatters.
enum DateTimeLocalFlags : unsigned {
  kDtYear = 0x01,
  kDtMonth = 0x02,
  kDtDay = 0x04,
  kDtWeek = 0x08,      // ISO week number, "(%02d)"
  kDtWeekday = 0x10,   // abbreviated weekday name
  kDtTime = 0x20,      // time of day (0x40 too)
  kDtTime2 = 0x40,
  kDtSeconds = 0x80,   // time of day with seconds
  kDtDate = kDtYear | kDtMonth | kDtDay,
  kDtAnyTime = kDtTime | kDtTime2 | kDtSeconds,
};

// Copies pattern, replacing "%" plus a letter: d H I m M S s Y y w U W give
// fields; a A b B c j p x X z Z give nothing; any other letter stands for
// itself ("%%" is "%"). A value that is not valid gives an empty text.
std::string FormatDateTime(std::string_view pattern, const DateTime& value);

// The user's locale (UserLocale()), pieces chosen by flags, joined by blanks.
std::string FormatDateTimeLocal(const DateTime& value, unsigned flags);
// The same for a clock time (seconds since 1970 UTC), shown in local time.
std::string FormatClockTimeLocal(std::int64_t clockTime, unsigned flags);

// Windows-style pictures: the date picture letters d, dd, ddd, dddd, M, MM,
// MMM, MMMM, y, yy, yyyy and 'quoted text'; the time picture letters h, hh, H,
// HH, m, mm, s, ss, t, tt. withSeconds false drops the seconds and the
// separator before them.
std::string FormatDatePicture(std::string_view picture, const DateTimeFields& f);
std::string FormatTimePicture(std::string_view picture, const DateTimeFields& f, bool withSeconds);

// ISO 8601 week number, 1 to 53; 0 for a value that is not valid.
int IsoWeekNumber(const DateTime& value);
int IsoWeekNumber(std::int64_t clockTime);

}  // namespace meldrix
