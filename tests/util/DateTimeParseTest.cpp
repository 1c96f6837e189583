#include "platform/Env.h"
#include "util/DateTimeParse.h"

#include "DateTimeTestSupport.h"

using namespace meldrix;
using namespace meldrix::testing;

namespace {

// Rows of text and "true"/"false" with the value; "now" stands for the fixed clock time.
struct ParseRow { const char* text; const char* expected; };

void ExpectParses(std::initializer_list<ParseRow> rows) {
  for (const ParseRow& row : rows) {
    DateTime v(1.0);
    const bool ok = ParseDateTime(row.text, v);
    std::string expected = row.expected;
    if (auto at = expected.find("now"); at != std::string::npos) expected.replace(at, 3, "2024-05-15 12:20:30");
    EXPECT_EQ(std::string(ok ? "true " : "false ") + Show(v), expected) << row.text;
  }
}

}  // namespace

using ParseDateTimeTest = FixedTimeTest;

TEST_F(ParseDateTimeTest, FixedForms) {
  ExpectParses({
      {"", "true now"}, {"12", "false now"}, {"DT#NOW", "true now"}, {"no date at all", "false now"},
      {"dt#NOW", "false now"},  // exact case only
      {"20200131130509", "true 2020-01-31 13:05:09"}, {"  20200131130509 ", "true 2020-01-31 13:05:09"},
      {"20200131", "false now"},  // only three fields convert: no fixed form and no fallback takes it
      {"DT#2020-01-31-13:05:09", "true 2020-01-31 13:05:09"}, {"2020-1-31 13:5:9.250", "true 2020-01-31 13:05:09"},
      {"DT#1999-12-31-23:59:59", "true 1999-12-31 23:59:59"},
      // Fields out of range: true, but the value is invalid.
      {"2021-02-29 10:00:00", "true invalid"}, {"20201301000000", "true invalid"},
      // Dotted forms and two-digit years.
      {"31.1.20 10:00", "true 2020-01-31 10:00:00"}, {"31.1.75 10:00:00", "true 1975-01-31 10:00:00"},
      {"31.1.69 10:00:00", "true 2069-01-31 10:00:00"}, {"31.1.1850 10:00:00", "true 1850-01-31 10:00:00"},
      {"31.1.75 10:00", "true 2075-01-31 10:00:00"}, {"31.1.2020 10:00", "true 2020-01-31 10:00:00"},
      {"31.1.95 10:00", "true invalid"},  // year 95 stays 95 in this form
      {"31.1. 10:00:05", "true 2024-01-31 10:00:05"}, {"31.1. 10:00", "true 2024-01-31 10:00:00"},
      {"1.2.", "true 2024-02-01 00:00:00"}, {"1.2", "true 2024-02-01 00:00:00"},
      {"24.12.99", "true 1999-12-24 00:00:00"}, {"24.12.05", "true 2005-12-24 00:00:00"},
      {"31.2.2020", "true invalid"},
      // Time of day, and with a sign relative to now.
      {"8:15", "true 2024-05-15 08:15:00"}, {"8:15:30", "true 2024-05-15 08:15:30"},
      {"+0:30", "true 2024-05-15 12:50:30"}, {"-1:00:00", "true 2024-05-15 11:20:30"},
      {"+36:00", "true 2024-05-17 00:20:30"}, {"25:00", "true invalid"},
      // The CIM form adds its offset in minutes.
      {"20200131130509.000000+060", "true 2020-01-31 14:05:09"},
      {"20200131130509.123456-120", "true 2020-01-31 11:05:09"},
      {"20201231233000.000000+060", "true 2021-01-01 00:30:00"},
      {"31.1.99999999999 10:00", "true invalid"},  // the year saturates, never overflows
  });
}

TEST_F(ParseDateTimeTest, IsoMailAndLocaleFallbacks) {
  // Zones convert to local time (the fixed zone is UTC+2).
  ExpectParses({
      {"2020-01-31T13:05:09", "true 2020-01-31 13:05:09"}, {"2020-01-31", "true 2020-01-31 00:00:00"},
      {"2020-01-31T13:05", "true 2020-01-31 13:05:00"}, {"2020-01-31T13:05:09Z", "true 2020-01-31 15:05:09"},
      {"2020-01-31T13:05:09.5+01:00", "true 2020-01-31 14:05:09"},
      {"2020-01-31T23:05:09-0500", "true 2020-02-01 06:05:09"},
      {"2020-02-30T13:05:09", "false now"}, {"2020-01-31T13:05:09+1", "false now"},
      {"Fri, 31 Jan 2020 13:05:09 +0100", "true 2020-01-31 14:05:09"},
      {"31 Jan 2020 13:05:09 -0000", "true 2020-01-31 15:05:09"},
      {"Fri, 31 Jan 2020 13:05:09 +0100 (CET)", "true 2020-01-31 14:05:09"},
      {"fri,31 jan 2020 13:05 GMT", "true 2020-01-31 15:05:00"},
      {"Sat, 1 Feb 20 01:00:00 EST", "true 2020-02-01 08:00:00"},
      {"Thu, 31 Dec 2020 23:30:00 -0100", "true 2021-01-01 02:30:00"}, {"31 Jan 2020", "true 2020-01-31 00:00:00"},
      {"Fri, 31 Foo 2020 13:05:09 +0100", "false now"}, {"Fri, 31 Jan 2020 13:05:09 +01", "false now"},
      {"Fri, 30 Feb 2020 13:05:09 +0100", "false now"},
      // German: day first; month names of the locale.
      {"31/01/2020 13:05", "true 2020-01-31 13:05:00"}, {"31. M\xE4rz 2020", "true 2020-03-31 00:00:00"},
      {"Di, 31-03-20", "true 2020-03-31 00:00:00"}, {"2020/03/31 08:00:00", "true 2020-03-31 08:00:00"},
  });
  ScopedEnv us(Env{.locale = std::make_shared<FixedLocaleInfo>(
      ".", "M/d/yyyy", "h:mm:ss tt",
      std::array<std::string, 7>{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}, "AM", "PM")});
  ExpectParses({
      {"1/31/2020 1:05:09 PM", "true 2020-01-31 13:05:09"}, {"1/31/2020 12:05 AM", "true 2020-01-31 00:05:00"},
      {"January 31, 2020", "true 2020-01-31 00:00:00"}, {"12:30 PM", "true 2024-05-15 12:30:00"},
      {"13/31/2020", "false now"}, {"1/31/2020 13:05 PM", "false now"},
  });
}
