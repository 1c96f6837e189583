// Date and time values: DateTime holds days since 30 December 1899 00:00 as a
// double (the fraction is the time of day) with a valid/invalid/null status;
// DateTimeSpan is a difference in days. Supported years: 100 to 9999.
//
// Before 30 December 1899 the stored value keeps the day part negative and the
// time part positive (-1.25 is 29 December 1899 06:00), so arithmetic goes
// through a linear day count.
#pragma once

#include <cstdint>
#include <optional>

namespace meldrix {

class DateTimeSpan {
 public:
  DateTimeSpan() = default;
  explicit DateTimeSpan(double days) : days_(days) {}
  DateTimeSpan(long days, int hours, int minutes, int seconds);

  double TotalDays() const { return days_; }
  // Whole days, rounded toward zero.
  long Days() const;
  double TotalSeconds() const { return days_ * 86400.0; }

  DateTimeSpan operator-() const { return DateTimeSpan(-days_); }
  DateTimeSpan operator+(DateTimeSpan o) const { return DateTimeSpan(days_ + o.days_); }
  DateTimeSpan operator-(DateTimeSpan o) const { return DateTimeSpan(days_ - o.days_); }
  DateTimeSpan operator*(double factor) const { return DateTimeSpan(days_ * factor); }

 private:
  double days_ = 0.0;
};

// Calendar fields of a DateTime.
struct DateTimeFields {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int dayOfWeek = 0;  // 1 = Sunday ... 7 = Saturday
  int dayOfYear = 0;  // 1 ... 366
};

class DateTime {
 public:
  enum class Status { Valid, Invalid, Null };

  DateTime() = default;  // valid, 30 December 1899 00:00
  explicit DateTime(double days);
  // Invalid when the fields do not form a real date and time in years 100..9999.
  DateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

  static DateTime Null();
  static DateTime Invalid();
  // The current local time of the process-wide clock.
  static DateTime Now();
  // Local wall-clock seconds since 1970-01-01 00:00; invalid outside 100..9999.
  static DateTime FromLocalSeconds(std::int64_t localSeconds);

  double Days() const { return days_; }
  Status GetStatus() const { return status_; }
  bool IsValid() const { return status_ == Status::Valid; }
  void SetStatus(Status status) { status_ = status; }

  // The fields, rounded to the millisecond; nullopt unless valid and in range.
  std::optional<DateTimeFields> Fields() const;
  // Single fields; -1 when the value is not valid.
  int Year() const;
  int Month() const;
  int Day() const;
  int Hour() const;
  int Minute() const;
  int Second() const;
  int DayOfWeek() const;  // 1 = Sunday ... 7 = Saturday

  // Local wall-clock seconds since 1970-01-01 00:00 (whole seconds).
  std::optional<std::int64_t> ToLocalSeconds() const;

  DateTime operator+(DateTimeSpan span) const;
  DateTime operator-(DateTimeSpan span) const { return *this + (-span); }
  DateTime& operator+=(DateTimeSpan span) { return *this = *this + span; }
  DateTime& operator-=(DateTimeSpan span) { return *this = *this - span; }
  DateTimeSpan operator-(const DateTime& other) const;

  // Comparisons by point in time, to the millisecond; they look at the value only.
  bool operator==(const DateTime& other) const;
  bool operator<(const DateTime& other) const;

 private:
  double days_ = 0.0;
  Status status_ = Status::Valid;
};

// Linear day count (days and fraction since 30 December 1899, monotonic also
// before it) and back.
double DateTimeToLinear(double days);
double LinearToDateTime(double linear);

}  // namespace meldrix
