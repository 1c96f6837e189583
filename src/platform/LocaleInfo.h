// The user's locale as the engine needs it: decimal separator, short date and
// time pictures (Windows picture letters: d, M, y, H, h, m, s, t), weekday and
// month names. The process-wide instance follows the POSIX locale
// of the environment (LC_TIME, LC_NUMERIC) without changing the C library's
// global locale; tests install a fixed one.
#pragma once

#include <array>
#include <memory>
#include <string>

namespace meldrix {

class LocaleInfo {
 public:
  virtual ~LocaleInfo() = default;
  virtual std::string DecimalSeparator() const = 0;  // e.g. "," or "."
  virtual std::string ShortDatePicture() const = 0;  // e.g. "dd.MM.yyyy"
  virtual std::string TimePicture() const = 0;       // e.g. "HH:mm:ss"
  // dayOfWeek 1 = Sunday ... 7 = Saturday; Windows-1252 text.
  virtual std::string AbbrevDayName(int dayOfWeek) const = 0;
  // Texts for the morning and afternoon marker ("tt"); empty when the locale has none.
  virtual std::string AmText() const = 0;
  virtual std::string PmText() const = 0;
  // Full weekday name ("dddd") and month names ("MMMM", "MMM"); month 1..12.
  // English unless the locale says otherwise; empty outside the range.
  virtual std::string DayName(int dayOfWeek) const;
  virtual std::string MonthName(int month) const;
  virtual std::string AbbrevMonthName(int month) const;
};

// Names a locale may supply beyond the required pieces; empty entries fall
// back to English.
struct LocaleNames {
  std::array<std::string, 7> days;         // Sunday first
  std::array<std::string, 12> months;
  std::array<std::string, 12> abbrevMonths;
};

// A locale with fixed values, for tests and as a fallback.
class FixedLocaleInfo : public LocaleInfo {
 public:
  FixedLocaleInfo(std::string decimal, std::string datePicture, std::string timePicture,
                  std::array<std::string, 7> dayNames, std::string am = "", std::string pm = "",
                  LocaleNames names = {});
  static std::shared_ptr<LocaleInfo> German();   // ",", dd.MM.yyyy, HH:mm:ss, So..Sa, Januar..
  static std::shared_ptr<LocaleInfo> English();  // ".", dd/MM/yyyy, HH:mm:ss, Sun..Sat (UK)

  std::string DecimalSeparator() const override { return decimal_; }
  std::string ShortDatePicture() const override { return datePicture_; }
  std::string TimePicture() const override { return timePicture_; }
  std::string AbbrevDayName(int dayOfWeek) const override;
  std::string AmText() const override { return am_; }
  std::string PmText() const override { return pm_; }
  std::string DayName(int dayOfWeek) const override;
  std::string MonthName(int month) const override;
  std::string AbbrevMonthName(int month) const override;

 private:
  std::string decimal_, datePicture_, timePicture_;
  std::array<std::string, 7> dayNames_;
  std::string am_, pm_;
  LocaleNames names_;
};

// Reads the environment's POSIX locale once at construction.
class PosixLocaleInfo : public FixedLocaleInfo {
 public:
  PosixLocaleInfo();
};

// Translates a POSIX strftime picture ("%d.%m.%Y") into Windows picture letters
// ("dd.MM.yyyy"). Unknown conversions are dropped.
std::string PosixPictureToWindows(const std::string& posix);

// The user's locale: the one of the process's environment (platform/Env.h).
const LocaleInfo& UserLocale();

}  // namespace meldrix
