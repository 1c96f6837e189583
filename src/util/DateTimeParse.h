// Reading a DateTime from the written forms users, devices and mail headers
// produce.
#pragma once

#include <string_view>

#include "util/DateTime.h"

namespace meldrix {

class LocaleInfo;

// Reads text into value; value starts as the current local time. False only
// for a text of 1 or 2 characters or one that no form understands (value then
// holds the current time). Fields out of range give true with an invalid value.
bool ParseDateTime(std::string_view text, DateTime& value);

// The fallback readers for texts none of the fixed forms take, in the order
// ParseDateTime tries them. Each converts the whole text or returns false.
// ISO 8601: "2020-01-31", "2020-01-31T13:05[:09[.fff]]" with optional "Z" or
// "+01:00"; a zone converts to local time.
bool ParseIsoDateTime(std::string_view text, DateTime& value);
// RFC 5322 mail date: "[Fri, ]31 Jan 2020 13:05[:09] +0100 (comment)";
// converted to local time (a missing zone means local time).
bool ParseMailDateTime(std::string_view text, DateTime& value);
// The user's locale: short-date order (d/M/y) with ".", "/" or "-", month
// names, an optional time with seconds and AM/PM marker.
bool ParseLocaleDateTime(std::string_view text, const LocaleInfo& locale, DateTime& value);

// scanf-style conversion of text by pattern: "%d" and "%Nd" (at most N
// characters) read a signed decimal number after skipping white space, a blank
// matches any white space including none, other bytes must match. Returns the
// number of fields converted before the first mismatch.
int ScanFields(std::string_view text, std::string_view pattern, int* fields, int maxFields);

}  // namespace meldrix
