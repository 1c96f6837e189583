#include "util/DateTime.h"

#include <chrono>
#include <cmath>

#include "platform/Clock.h"

namespace meldrix {

namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

constexpr sys_days kEpoch = sys_days(std::chrono::year(1899) / 12 / 30);
constexpr long kUnixEpochDay = 25569;  // 1970-01-01 in days since the epoch above
constexpr double kMinDays = -657434.0;  // 0100-01-01
constexpr double kMaxDays = 2958466.0;  // 10000-01-01, exclusive
constexpr std::int64_t kMsPerDay = 86'400'000;

// Checked on the linear count: before 1899 the time of day makes the stored
// value more negative, so 1 January 100 after midnight lies below kMinDays.
bool InRange(double d) {
  if (!std::isfinite(d)) return false;
  const double linear = DateTimeToLinear(d);
  return linear >= kMinDays && linear < kMaxDays;
}

// Stored value from a day number and the seconds of that day.
double Compose(long dayNumber, double secondsOfDay) {
  const double time = secondsOfDay / 86400.0;
  return dayNumber >= 0 ? static_cast<double>(dayNumber) + time
                        : static_cast<double>(dayNumber) - time;
}

}  // namespace

double DateTimeToLinear(double d) {
  if (d >= 0) return d;
  const double whole = std::trunc(d);
  return whole + (whole - d);
}

double LinearToDateTime(double linear) {
  if (linear >= 0) return linear;
  const double whole = std::floor(linear);
  return whole - (linear - whole);
}

DateTimeSpan::DateTimeSpan(long days, int hours, int minutes, int seconds)
    : days_(static_cast<double>(days) +
            (static_cast<double>(hours) * 3600.0 + minutes * 60.0 + seconds) / 86400.0) {}

long DateTimeSpan::Days() const { return static_cast<long>(std::trunc(days_)); }

DateTime::DateTime(double d) : days_(d), status_(InRange(d) ? Status::Valid : Status::Invalid) {}

DateTime::DateTime(int year, int month, int day, int hour, int minute, int second) {
  const year_month_day ymd{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                           std::chrono::day(static_cast<unsigned>(day))};
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || !ymd.ok() ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    status_ = Status::Invalid;
    return;
  }
  const long dayNumber = static_cast<long>((sys_days(ymd) - kEpoch).count());
  days_ = Compose(dayNumber, hour * 3600.0 + minute * 60.0 + second);
}

DateTime DateTime::Null() {
  DateTime d;
  d.status_ = Status::Null;
  return d;
}

DateTime DateTime::Invalid() {
  DateTime d;
  d.status_ = Status::Invalid;
  return d;
}

DateTime DateTime::Now() { return FromLocalSeconds(UtcToLocalSeconds(CurrentClockTime())); }

DateTime DateTime::FromLocalSeconds(std::int64_t localSeconds) {
  std::int64_t dayNumber = localSeconds / 86400;
  std::int64_t secondsOfDay = localSeconds % 86400;
  if (secondsOfDay < 0) {
    secondsOfDay += 86400;
    --dayNumber;
  }
  dayNumber += kUnixEpochDay;
  const double d = Compose(static_cast<long>(dayNumber), static_cast<double>(secondsOfDay));
  return InRange(d) ? DateTime(d) : Invalid();
}

std::optional<DateTimeFields> DateTime::Fields() const {
  if (status_ != Status::Valid || !InRange(days_)) return std::nullopt;
  long dayNumber = static_cast<long>(std::trunc(days_));
  std::int64_t ms = std::llround(std::fabs(days_ - static_cast<double>(dayNumber)) * kMsPerDay);
  if (ms >= kMsPerDay) {  // rounded up to the next midnight
    ms -= kMsPerDay;
    ++dayNumber;
  }
  const sys_days date = kEpoch + days(dayNumber);
  const year_month_day ymd(date);
  DateTimeFields f;
  f.year = static_cast<int>(ymd.year());
  f.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  f.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  f.hour = static_cast<int>(ms / 3'600'000);
  f.minute = static_cast<int>(ms / 60'000 % 60);
  f.second = static_cast<int>(ms / 1000 % 60);
  f.millisecond = static_cast<int>(ms % 1000);
  f.dayOfWeek = static_cast<int>(std::chrono::weekday(date).c_encoding()) + 1;
  f.dayOfYear = static_cast<int>((date - sys_days(ymd.year() / 1 / 1)).count()) + 1;
  if (f.year < 100 || f.year > 9999) return std::nullopt;
  return f;
}

int DateTime::Year() const { auto f = Fields(); return f ? f->year : -1; }
int DateTime::Month() const { auto f = Fields(); return f ? f->month : -1; }
int DateTime::Day() const { auto f = Fields(); return f ? f->day : -1; }
int DateTime::Hour() const { auto f = Fields(); return f ? f->hour : -1; }
int DateTime::Minute() const { auto f = Fields(); return f ? f->minute : -1; }
int DateTime::Second() const { auto f = Fields(); return f ? f->second : -1; }
int DateTime::DayOfWeek() const { auto f = Fields(); return f ? f->dayOfWeek : -1; }

std::optional<std::int64_t> DateTime::ToLocalSeconds() const {
  if (status_ != Status::Valid || !InRange(days_)) return std::nullopt;
  const double seconds = std::round(DateTimeToLinear(days_) * 86400.0);
  return static_cast<std::int64_t>(seconds) - kUnixEpochDay * 86400;
}

DateTime DateTime::operator+(DateTimeSpan span) const {
  if (status_ != Status::Valid) return *this;
  // Kept on whole milliseconds so repeated steps do not drift.
  const double linear =
      std::round((DateTimeToLinear(days_) + span.TotalDays()) * kMsPerDay) / kMsPerDay;
  const DateTime result(LinearToDateTime(linear));
  return result.IsValid() ? result : Invalid();
}

DateTimeSpan DateTime::operator-(const DateTime& other) const {
  return DateTimeSpan(DateTimeToLinear(days_) - DateTimeToLinear(other.days_));
}

// To the millisecond, so values reached by different sums of spans compare equal.
static std::int64_t LinearMs(double d) { return std::llround(DateTimeToLinear(d) * kMsPerDay); }

bool DateTime::operator==(const DateTime& other) const { return LinearMs(days_) == LinearMs(other.days_); }

bool DateTime::operator<(const DateTime& other) const { return LinearMs(days_) < LinearMs(other.days_); }

}  // namespace meldrix
