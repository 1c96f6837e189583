#include "util/DateTimeFormat.h"

#include <cmath>
#include <cstdio>

#include "platform/LocaleInfo.h"
#include "platform/Clock.h"

namespace meldrix {

namespace {

std::string Printf(const char* format, int value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Length of the run of c starting at i.
std::size_t RunLength(std::string_view s, std::size_t i) {
  std::size_t n = 1;
  while (i + n < s.size() && s[i + n] == s[i]) ++n;
  return n;
}

bool IsPictureLetterChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

std::string LocalPieces(const DateTimeFields& f, unsigned flags, int isoWeek) {
  const LocaleInfo& locale = UserLocale();
  std::string out;
  auto append = [&out](const std::string& piece) {
    if (piece.empty()) return;
    if (!out.empty()) out += ' ';
    out += piece;
  };
  if (flags & kDtWeekday) append(locale.AbbrevDayName(f.dayOfWeek));
  if (flags & kDtWeek) append(Printf("(%02d)", isoWeek));
  if (flags & kDtDate) {
    std::string picture = locale.ShortDatePicture();
    std::string reduced;
    for (char c : picture) {
      if (c == 'y' && !(flags & kDtYear)) continue;
      if (c == 'd' && !(flags & kDtDay)) continue;
      reduced += c;
    }
    // Separators left at either end by a removed piece go too.
    std::size_t b = 0, e = reduced.size();
    while (b < e && !IsPictureLetterChar(reduced[b])) ++b;
    while (e > b && !IsPictureLetterChar(reduced[e - 1])) --e;
    append(FormatDatePicture(std::string_view(reduced).substr(b, e - b), f));
  }
  if (flags & kDtAnyTime) append(FormatTimePicture(locale.TimePicture(), f, (flags & kDtSeconds) != 0));
  return out;
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, const DateTime& value) {
  const auto fields = value.Fields();
  if (!fields) return {};
  const DateTimeFields& f = *fields;
  const int weekday = f.dayOfWeek - 1;  // 0 = Sunday
  const int yday = f.dayOfYear - 1;
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    const char letter = pattern[++i];
    switch (letter) {
      case 'd': out += Printf("%02d", f.day); break;
      case 'H': out += Printf("%02d", f.hour); break;
      case 'I': out += Printf("%02d", f.hour % 12 == 0 ? 12 : f.hour % 12); break;
      case 'm': out += Printf("%02d", f.month); break;
      case 'M': out += Printf("%02d", f.minute); break;
      case 'S': out += Printf("%02d", f.second); break;
      case 's': out += Printf("%03d", f.millisecond); break;
      case 'Y': out += Printf("%04d", f.year); break;
      case 'y': out += Printf("%02d", f.year % 100); break;
      case 'w': out += Printf("%d", weekday); break;
      case 'U': out += Printf("%02d", (yday + 7 - weekday) / 7 + 1); break;
      case 'W': out += Printf("%02d", (yday + 7 - (weekday + 6) % 7) / 7); break;
      case 'a': case 'A': case 'b': case 'B': case 'c': case 'j':
      case 'p': case 'x': case 'X': case 'z': case 'Z':
        break;
      default: out += letter; break;
    }
  }
  return out;
}

std::string FormatDatePicture(std::string_view picture, const DateTimeFields& f) {
  const LocaleInfo& locale = UserLocale();
  std::string out;
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (c == '\'') {  // quoted text; '' inside stands for one quote
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += picture[i++];
      }
      continue;
    }
    const std::size_t n = RunLength(picture, i);
    switch (c) {
      case 'd':
        if (n == 1) out += std::to_string(f.day);
        else if (n == 2) out += Printf("%02d", f.day);
        else if (n == 3) out += locale.AbbrevDayName(f.dayOfWeek);
        else out += locale.DayName(f.dayOfWeek);
        break;
      case 'M':
        if (n == 1) out += std::to_string(f.month);
        else if (n == 2) out += Printf("%02d", f.month);
        else if (n == 3) out += locale.AbbrevMonthName(f.month);
        else out += locale.MonthName(f.month);
        break;
      case 'y':
        if (n == 1) out += std::to_string(f.year % 100);
        else if (n == 2) out += Printf("%02d", f.year % 100);
        else out += Printf("%04d", f.year);
        break;
      case 'g':
        break;  // era: none in the Gregorian calendar
      default:
        out.append(n, c);
        break;
    }
    i += n;
  }
  return out;
}

std::string FormatTimePicture(std::string_view picture, const DateTimeFields& f, bool withSeconds) {
  const LocaleInfo& locale = UserLocale();
  std::string pic(picture);
  if (!withSeconds) {
    // Drop each seconds run together with the separator in front of it.
    std::string reduced;
    for (std::size_t i = 0; i < pic.size(); ++i) {
      if (pic[i] != 's') {
        reduced += pic[i];
        continue;
      }
      while (!reduced.empty() && !IsPictureLetterChar(reduced.back())) reduced.pop_back();
      while (i + 1 < pic.size() && pic[i + 1] == 's') ++i;
    }
    pic = reduced;
  }
  const int hour12 = f.hour % 12 == 0 ? 12 : f.hour % 12;
  const std::string marker = f.hour < 12 ? locale.AmText() : locale.PmText();
  std::string out;
  for (std::size_t i = 0; i < pic.size();) {
    const char c = pic[i];
    if (c == '\'') {
      const std::size_t close = pic.find('\'', i + 1);
      const std::size_t stop = close == std::string::npos ? pic.size() : close;
      out.append(pic, i + 1, stop - i - 1);
      i = stop + 1;
      continue;
    }
    const std::size_t n = RunLength(pic, i);
    switch (c) {
      case 'h': out += n == 1 ? std::to_string(hour12) : Printf("%02d", hour12); break;
      case 'H': out += n == 1 ? std::to_string(f.hour) : Printf("%02d", f.hour); break;
      case 'm': out += n == 1 ? std::to_string(f.minute) : Printf("%02d", f.minute); break;
      case 's': out += n == 1 ? std::to_string(f.second) : Printf("%02d", f.second); break;
      case 't': out += n == 1 ? marker.substr(0, 1) : marker; break;
      default: out.append(n, c); break;
    }
    i += n;
  }
  // A picture whose marker is empty in this locale leaves a trailing blank.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string FormatDateTimeLocal(const DateTime& value, unsigned flags) {
  if (!value.IsValid()) return {};
  // The value 0 carries no date; it serves only for time pieces.
  if (value.Days() == 0.0 && (flags & kDtDate)) return {};
  const auto f = value.Fields();
  if (!f) return {};
  return LocalPieces(*f, flags, (flags & kDtWeek) ? IsoWeekNumber(value) : 0);
}

std::string FormatClockTimeLocal(std::int64_t clockTime, unsigned flags) {
  const DateTime local = DateTime::FromLocalSeconds(UtcToLocalSeconds(clockTime));
  const auto f = local.Fields();
  if (!f) return {};
  return LocalPieces(*f, flags, (flags & kDtWeek) ? IsoWeekNumber(local) : 0);
}

int IsoWeekNumber(const DateTime& value) {
  const auto f = value.Fields();
  if (!f) return 0;
  const DateTime newYear(f->year, 1, 1);
  const int days = f->dayOfYear - 1;  // whole days since 1 January
  const int k = (newYear.DayOfWeek() + 1) % 7;  // Friday 0 ... Thursday 6
  const int week = static_cast<int>(std::floor((days + k - 3) / 7.0)) + 1;
  if (week == 0) {
    if (f->year <= 100) return 0;  // no previous year in range
    return IsoWeekNumber(DateTime(f->year - 1, 12, 31));
  }
  if (week == 53) {
    const int lastDay = DateTime(f->year, 12, 31).DayOfWeek();
    if ((lastDay - 1) % 7 < 4) return 1;  // Sunday to Wednesday: week 1 of next year
  }
  return week;
}

int IsoWeekNumber(std::int64_t clockTime) {
  return IsoWeekNumber(DateTime::FromLocalSeconds(UtcToLocalSeconds(clockTime)));
}

}  // namespace meldrix
