#include "expr/ExprDateTime.h"

#include <cmath>

#include "util/DateTime.h"
#include "util/DateTimeFormat.h"
#include "util/DateTimeParse.h"

namespace meldrix {

namespace {

constexpr char kDtPattern[] = "DT#%Y-%m-%d-%H:%M:%S";

// The reader also takes "DT#" itself (and DT#NOW); a text it cannot read
// stands for the current time.
DateTime ReadDt(const std::string& text) {
  DateTime value;
  ParseDateTime(text, value);
  return value;
}

}  // namespace

bool IsDtText(const std::string& text) { return text.compare(0, 3, "DT#") == 0; }

std::string DtAddSeconds(const std::string& dtText, int32_t seconds) {
  DateTime moved = ReadDt(dtText) + DateTimeSpan(seconds / 86400.0);
  return FormatDateTime(kDtPattern, moved);
}

int32_t DtDifference(const std::string& left, const std::string& right) {
  DateTime a = ReadDt(left), b = ReadDt(right);
  // Whole seconds on both sides keep the difference exact (the day fractions
  // would give 86399.9999 for one day).
  auto x = a.ToLocalSeconds(), y = b.ToLocalSeconds();
  double seconds = x && y ? static_cast<double>(*x - *y) : std::trunc((a - b).TotalSeconds());
  if (!(seconds == seconds)) return 0;
  if (seconds >= 2147483647.0) return INT32_MAX;
  if (seconds <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(seconds);
}

std::string CurrentDtLiteral() { return FormatDateTime(kDtPattern, DateTime::Now()); }

}  // namespace meldrix
