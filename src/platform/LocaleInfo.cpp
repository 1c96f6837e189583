#include "platform/LocaleInfo.h"

#include "platform/Env.h"

#include <langinfo.h>
#include <locale.h>

#include <mutex>
#include <vector>

#include "platform/Cp1252.h"

namespace meldrix {

FixedLocaleInfo::FixedLocaleInfo(std::string decimal, std::string datePicture,
                                 std::string timePicture, std::array<std::string, 7> dayNames,
                                 std::string am, std::string pm, LocaleNames names)
    : decimal_(std::move(decimal)),
      datePicture_(std::move(datePicture)),
      timePicture_(std::move(timePicture)),
      dayNames_(std::move(dayNames)),
      am_(std::move(am)),
      pm_(std::move(pm)),
      names_(std::move(names)) {}

namespace {

const char* const kEnglishDays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
const char* const kEnglishMonths[12] = {"January", "February", "March",     "April",
                                        "May",     "June",     "July",      "August",
                                        "September", "October", "November", "December"};

std::string Pick(const std::string& own, const char* english, size_t abbrev = 0) {
  if (!own.empty()) return own;
  std::string s = english;
  return abbrev ? s.substr(0, abbrev) : s;
}

}  // namespace

std::string LocaleInfo::DayName(int dayOfWeek) const {
  if (dayOfWeek < 1 || dayOfWeek > 7) return {};
  return kEnglishDays[dayOfWeek - 1];
}

std::string LocaleInfo::MonthName(int month) const {
  if (month < 1 || month > 12) return {};
  return kEnglishMonths[month - 1];
}

std::string LocaleInfo::AbbrevMonthName(int month) const {
  if (month < 1 || month > 12) return {};
  return std::string(kEnglishMonths[month - 1]).substr(0, 3);
}

std::string FixedLocaleInfo::DayName(int dayOfWeek) const {
  if (dayOfWeek < 1 || dayOfWeek > 7) return {};
  return Pick(names_.days[static_cast<size_t>(dayOfWeek - 1)], kEnglishDays[dayOfWeek - 1]);
}

std::string FixedLocaleInfo::MonthName(int month) const {
  if (month < 1 || month > 12) return {};
  return Pick(names_.months[static_cast<size_t>(month - 1)], kEnglishMonths[month - 1]);
}

std::string FixedLocaleInfo::AbbrevMonthName(int month) const {
  if (month < 1 || month > 12) return {};
  return Pick(names_.abbrevMonths[static_cast<size_t>(month - 1)], kEnglishMonths[month - 1], 3);
}

std::shared_ptr<LocaleInfo> FixedLocaleInfo::German() {
  LocaleNames names{
      {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
      {"Januar", "Februar", "M\xE4rz", "April", "Mai", "Juni", "Juli", "August", "September",
       "Oktober", "November", "Dezember"},
      {"Jan", "Feb", "M\xE4r", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"}};
  return std::make_shared<FixedLocaleInfo>(
      ",", "dd.MM.yyyy", "HH:mm:ss",
      std::array<std::string, 7>{"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"}, "", "",
      std::move(names));
}

std::shared_ptr<LocaleInfo> FixedLocaleInfo::English() {
  return std::make_shared<FixedLocaleInfo>(
      ".", "dd/MM/yyyy", "HH:mm:ss",
      std::array<std::string, 7>{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}, "AM", "PM");
}

std::string FixedLocaleInfo::AbbrevDayName(int dayOfWeek) const {
  if (dayOfWeek < 1 || dayOfWeek > 7) return {};
  return dayNames_[static_cast<size_t>(dayOfWeek - 1)];
}

std::string PosixPictureToWindows(const std::string& posix) {
  std::string out;
  for (size_t i = 0; i < posix.size(); ++i) {
    const char c = posix[i];
    if (c != '%' || i + 1 >= posix.size()) {
      out += c;
      continue;
    }
    char k = posix[++i];
    if ((k == 'E' || k == 'O' || k == '-' || k == '_' || k == '0') && i + 1 < posix.size())
      k = posix[++i];
    switch (k) {
      case 'd': out += "dd"; break;
      case 'e': out += "d"; break;
      case 'm': out += "MM"; break;
      case 'b': case 'h': out += "MMM"; break;
      case 'B': out += "MMMM"; break;
      case 'Y': out += "yyyy"; break;
      case 'y': out += "yy"; break;
      case 'H': out += "HH"; break;
      case 'k': out += "H"; break;
      case 'I': out += "hh"; break;
      case 'l': out += "h"; break;
      case 'M': out += "mm"; break;
      case 'S': out += "ss"; break;
      case 'p': case 'P': out += "tt"; break;
      case 'a': out += "ddd"; break;
      case 'A': out += "dddd"; break;
      case 'D': out += "MM/dd/yy"; break;
      case 'F': out += "yyyy-MM-dd"; break;
      case 'T': out += "HH:mm:ss"; break;
      case 'R': out += "HH:mm"; break;
      case 'r': out += "hh:mm:ss tt"; break;
      case '%': out += '%'; break;
      default: break;
    }
  }
  return out;
}

namespace {

std::string LangInfo(locale_t loc, nl_item item) {
  const char* s = loc ? nl_langinfo_l(item, loc) : nl_langinfo(item);
  return s ? std::string(s) : std::string();
}

FixedLocaleInfo ReadPosixLocale() {
  // A private locale object, so printf and friends keep the "C" conventions.
  locale_t loc = newlocale(LC_TIME_MASK | LC_NUMERIC_MASK | LC_CTYPE_MASK, "", nullptr);
  if (!loc) loc = newlocale(LC_TIME_MASK | LC_NUMERIC_MASK | LC_CTYPE_MASK, "C", nullptr);
  const std::string codeset = LangInfo(loc, CODESET);
  const bool utf8 = codeset == "UTF-8" || codeset == "utf8";
  auto text = [&](nl_item item) {
    std::string s = LangInfo(loc, item);
    return utf8 ? Utf8ToCp1252(s) : s;
  };
  std::array<std::string, 7> days;
  const nl_item abday[7] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
  for (int i = 0; i < 7; ++i) days[static_cast<size_t>(i)] = text(abday[i]);
  LocaleNames names;
  const nl_item day[7] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
  for (int i = 0; i < 7; ++i) names.days[static_cast<size_t>(i)] = text(day[i]);
  const nl_item mon[12] = {MON_1, MON_2, MON_3, MON_4, MON_5, MON_6,
                           MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
  const nl_item abmon[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4, ABMON_5, ABMON_6,
                             ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
  for (int i = 0; i < 12; ++i) {
    names.months[static_cast<size_t>(i)] = text(mon[i]);
    names.abbrevMonths[static_cast<size_t>(i)] = text(abmon[i]);
  }
  std::string decimal = text(RADIXCHAR);
  if (decimal.empty()) decimal = ".";
  std::string date = PosixPictureToWindows(LangInfo(loc, D_FMT));
  std::string time = PosixPictureToWindows(LangInfo(loc, T_FMT));
  // The "C" locale's pictures are American ("%m/%d/%y"); use a four-digit year.
  if (date == "MM/dd/yy") date = "MM/dd/yyyy";
  if (date.empty()) date = "dd.MM.yyyy";
  if (time.empty()) time = "HH:mm:ss";
  FixedLocaleInfo info(decimal, date, time, days, text(AM_STR), text(PM_STR), std::move(names));
  if (loc) freelocale(loc);
  return info;
}

}  // namespace

PosixLocaleInfo::PosixLocaleInfo() : FixedLocaleInfo(ReadPosixLocale()) {}

const LocaleInfo& UserLocale() { return *ProcessEnv().locale; }

}  // namespace meldrix
