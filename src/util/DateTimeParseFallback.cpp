// The readers ParseDateTime falls back on when no fixed form takes the text:
// ISO 8601, the RFC 5322 mail date and the user's locale.
#include <string>
#include <vector>

#include "platform/LocaleInfo.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "util/DateTimeParse.h"

namespace meldrix {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) {
  const auto b = static_cast<unsigned char>(c);
  return Cp1252ToUpper(b) != Cp1252ToLower(b) || b == 0xDF;
}
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {
    while (!s_.empty() && IsSpace(s_.front())) s_.remove_prefix(1);
    while (!s_.empty() && IsSpace(s_.back())) s_.remove_suffix(1);
  }
  bool AtEnd() const { return i_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[i_]; }
  bool Take(char c) {
    if (Peek() != c || AtEnd()) return false;
    ++i_;
    return true;
  }
  bool SkipSpace() {
    const std::size_t from = i_;
    while (!AtEnd() && IsSpace(s_[i_])) ++i_;
    return i_ > from;
  }
  // Spaces and parenthesised comments (which may nest), as between mail tokens.
  void SkipSpaceAndComments() {
    for (;;) {
      SkipSpace();
      if (Peek() != '(') return;
      int depth = 0;
      while (!AtEnd()) {
        const char c = s_[i_++];
        if (c == '\\' && !AtEnd()) ++i_;
        else if (c == '(') ++depth;
        else if (c == ')' && --depth == 0) break;
      }
    }
  }
  // minDigits..maxDigits decimal digits; digits tells how many were read.
  bool Number(int minDigits, int maxDigits, int& out, int* digits = nullptr) {
    int n = 0, value = 0;
    while (n < maxDigits && IsDigit(Peek())) {
      value = value * 10 + (s_[i_++] - '0');
      ++n;
    }
    if (n < minDigits) return false;
    out = value;
    if (digits) *digits = n;
    return true;
  }
  std::string Word() {
    std::string w;
    while (!AtEnd() && IsLetter(s_[i_])) w += s_[i_++];
    return w;
  }
  std::size_t Position() const { return i_; }
  void Rewind(std::size_t pos) { i_ = pos; }

 private:
  std::string_view s_;
  std::size_t i_ = 0;
};

bool SameText(std::string_view a, std::string_view b) {
  return !a.empty() && Cp1252Upper(a) == Cp1252Upper(b);
}

const LocaleInfo& English() {
  static const std::shared_ptr<LocaleInfo> english = FixedLocaleInfo::English();
  return *english;
}

// English day (1 = Sunday) by its name or three-letter abbreviation.
int EnglishDay(const std::string& word) {
  const LocaleInfo& english = English();
  for (int d = 1; d <= 7; ++d) {
    const std::string name = english.DayName(d);
    if (SameText(word, name) || SameText(word, name.substr(0, 3))) return d;
  }
  return 0;
}

int EnglishMonth(const std::string& word) {
  const LocaleInfo& english = English();
  for (int m = 1; m <= 12; ++m) {
    if (SameText(word, english.MonthName(m)) || SameText(word, english.AbbrevMonthName(m)))
      return m;
  }
  return 0;
}

int LocaleMonth(const std::string& word, const LocaleInfo& locale) {
  for (int m = 1; m <= 12; ++m) {
    if (SameText(word, locale.MonthName(m)) || SameText(word, locale.AbbrevMonthName(m))) return m;
  }
  return EnglishMonth(word);
}

bool IsDayName(const std::string& word, const LocaleInfo& locale) {
  for (int d = 1; d <= 7; ++d) {
    if (SameText(word, locale.DayName(d)) || SameText(word, locale.AbbrevDayName(d))) return true;
  }
  return EnglishDay(word) != 0;
}

// The value for fields given in a zone utcOffset seconds east of UTC, as
// local time of the process-wide clock.
bool ZonedToLocal(const DateTime& zoned, int utcOffset, DateTime& value) {
  const auto seconds = zoned.ToLocalSeconds();
  if (!seconds) return false;
  const DateTime local = DateTime::FromLocalSeconds(UtcToLocalSeconds(*seconds - utcOffset));
  if (!local.IsValid()) return false;
  value = local;
  return true;
}

// Time of day "H:mm[:ss[.fff]]"; the fraction is ignored.
bool ReadTime(Reader& r, int& hour, int& minute, int& second) {
  second = 0;
  if (!r.Number(1, 2, hour) || !r.Take(':') || !r.Number(2, 2, minute)) return false;
  if (r.Take(':')) {
    if (!r.Number(2, 2, second)) return false;
    if (r.Take('.') || r.Take(',')) {
      int fraction = 0;
      if (!r.Number(1, 9, fraction)) return false;
    }
  }
  return true;
}

// Mail zone names of RFC 5322; the military letters (other than Z) carry no
// reliable offset and count as UTC.
bool MailZone(const std::string& word, int& offset) {
  static const struct {
    const char* name;
    int hours;
  } kZones[] = {{"UT", 0},   {"GMT", 0},  {"Z", 0},    {"EST", -5}, {"EDT", -4},
                {"CST", -6}, {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8},
                {"PDT", -7}};
  for (const auto& z : kZones) {
    if (SameText(word, z.name)) {
      offset = z.hours * 3600;
      return true;
    }
  }
  if (word.size() == 1 && IsLetter(word[0]) && static_cast<unsigned char>(word[0]) < 128) {
    offset = 0;
    return true;
  }
  return false;
}

}  // namespace

bool ParseIsoDateTime(std::string_view text, DateTime& value) {
  Reader r(text);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!r.Number(4, 4, year) || !r.Take('-') || !r.Number(2, 2, month) || !r.Take('-') ||
      !r.Number(2, 2, day))
    return false;
  if (r.Take('T') || r.Take('t') || r.Take(' ')) {
    if (!ReadTime(r, hour, minute, second) || hour > 23) return false;
  }
  bool zoned = false;
  int offset = 0;
  if (r.Take('Z') || r.Take('z')) {
    zoned = true;
  } else if (r.Peek() == '+' || r.Peek() == '-') {
    const int sign = r.Peek() == '-' ? -1 : 1;
    r.Take(r.Peek());
    int zh = 0, zm = 0;
    if (!r.Number(2, 2, zh)) return false;
    const bool colon = r.Take(':');
    if (colon || IsDigit(r.Peek())) {
      if (!r.Number(2, 2, zm)) return false;
    }
    if (zh > 23 || zm > 59) return false;
    zoned = true;
    offset = sign * (zh * 3600 + zm * 60);
  }
  if (!r.AtEnd()) return false;
  const DateTime fields(year, month, day, hour, minute, second);
  if (!fields.IsValid()) return false;
  if (!zoned) {
    value = fields;
    return true;
  }
  return ZonedToLocal(fields, offset, value);
}

bool ParseMailDateTime(std::string_view text, DateTime& value) {
  Reader r(text);
  r.SkipSpaceAndComments();
  std::string word = r.Word();
  if (!word.empty()) {
    if (!EnglishDay(word)) return false;
    r.SkipSpaceAndComments();
    if (r.Take(',')) r.SkipSpaceAndComments();
  }
  int day = 0, year = 0, yearDigits = 0, hour = 0, minute = 0, second = 0;
  if (!r.Number(1, 2, day)) return false;
  r.SkipSpaceAndComments();
  const int month = EnglishMonth(r.Word());
  if (!month) return false;
  r.SkipSpaceAndComments();
  if (!r.Number(2, 4, year, &yearDigits)) return false;
  // Obsolete short years: two digits below 50 are 2000s, other short ones 1900s.
  if (yearDigits == 2) year += year < 50 ? 2000 : 1900;
  else if (yearDigits == 3) year += 1900;
  r.SkipSpaceAndComments();
  bool timeGiven = false;
  if (IsDigit(r.Peek())) {
    if (!ReadTime(r, hour, minute, second)) return false;
    timeGiven = true;
    r.SkipSpaceAndComments();
  }
  bool zoned = false;
  int offset = 0;
  if (timeGiven && (r.Peek() == '+' || r.Peek() == '-')) {
    const int sign = r.Peek() == '-' ? -1 : 1;
    r.Take(r.Peek());
    int hhmm = 0;
    if (!r.Number(4, 4, hhmm) || hhmm % 100 > 59) return false;
    offset = sign * (hhmm / 100 * 3600 + hhmm % 100 * 60);
    zoned = true;
  } else if (timeGiven) {
    word = r.Word();
    if (!word.empty()) {
      if (!MailZone(word, offset)) return false;
      zoned = true;
    }
  }
  r.SkipSpaceAndComments();
  if (!r.AtEnd()) return false;
  const DateTime fields(year, month, day, hour, minute, second);
  if (!fields.IsValid()) return false;
  if (!zoned) {
    value = fields;
    return true;
  }
  return ZonedToLocal(fields, offset, value);
}

bool ParseLocaleDateTime(std::string_view text, const LocaleInfo& locale, DateTime& value) {
  Reader r(text);
  // Order of day, month and year from the short-date picture.
  std::string order;
  for (char c : locale.ShortDatePicture()) {
    const char k = c == 'd' ? 'd' : c == 'M' ? 'M' : c == 'y' ? 'y' : '\0';
    if (k && order.find(k) == std::string::npos) order += k;
  }
  for (char k : std::string("dMy"))
    if (order.find(k) == std::string::npos) order += k;

  // A leading weekday name is allowed and ignored.
  const std::size_t start = r.Position();
  const std::string first = r.Word();
  if (!first.empty() && IsDayName(first, locale)) {
    r.SkipSpace();
    if (r.Take(',')) r.SkipSpace();
  } else {
    r.Rewind(start);
  }

  struct Item {
    int value;
    int digits;  // 0 for a month name
  };
  std::vector<Item> items;
  int monthByName = 0;
  bool timeGiven = false;
  int hour = 0, minute = 0, second = 0;
  while (!r.AtEnd() && items.size() < 3) {
    const std::size_t here = r.Position();
    if (IsDigit(r.Peek())) {
      int n = 0, digits = 0;
      if (!r.Number(1, 4, n, &digits)) return false;
      if (r.Peek() == ':') {  // the time begins
        r.Rewind(here);
        break;
      }
      items.push_back({n, digits});
    } else if (IsLetter(r.Peek())) {
      const int m = LocaleMonth(r.Word(), locale);
      if (!m || monthByName) return false;
      monthByName = m;
      items.push_back({m, 0});
    } else {
      return false;
    }
    // Separators between the date's parts.
    bool separated = r.SkipSpace();
    while (r.Peek() == '.' || r.Peek() == '/' || r.Peek() == '-' || r.Peek() == ',') {
      r.Take(r.Peek());
      separated = true;
      r.SkipSpace();
    }
    if (!separated && !r.AtEnd()) return false;
  }
  if (!r.AtEnd() && IsDigit(r.Peek())) {
    if (!ReadTime(r, hour, minute, second)) return false;
    timeGiven = true;
    r.SkipSpace();
    const std::string marker = r.Word();
    const bool am = SameText(marker, locale.AmText()) || SameText(marker, "AM");
    const bool pm = SameText(marker, locale.PmText()) || SameText(marker, "PM");
    if (!marker.empty()) {
      if ((!am && !pm) || hour < 1 || hour > 12) return false;
      if (am && hour == 12) hour = 0;
      if (pm && hour < 12) hour += 12;
    }
    r.SkipSpace();
  }
  if (!r.AtEnd() || (items.empty() && !timeGiven)) return false;

  const DateTime now = DateTime::Now();
  int day = 0, month = 0, year = now.Year(), yearDigits = 4;
  if (items.empty()) {
    day = now.Day();
    month = now.Month();
  } else if (monthByName) {
    month = monthByName;
    std::vector<Item> numbers;
    for (const Item& it : items)
      if (it.digits) numbers.push_back(it);
    if (numbers.empty() || numbers.size() > 2) return false;
    if (numbers.size() == 1) {
      day = numbers[0].value;
    } else {
      // A number of three or more digits is the year; else the locale's order.
      const bool yearFirst = numbers[0].digits > 2 ||
                             (numbers[1].digits <= 2 && order.find('y') < order.find('d'));
      day = numbers[yearFirst ? 1 : 0].value;
      year = numbers[yearFirst ? 0 : 1].value;
      yearDigits = numbers[yearFirst ? 0 : 1].digits;
    }
  } else if (items.size() == 3) {
    std::string use = order;
    if (items[0].digits == 4) use = "yMd";  // 2020/01/31 whatever the locale
    for (std::size_t i = 0; i < 3; ++i) {
      const char k = use[i];
      if (k == 'd') day = items[i].value;
      if (k == 'M') month = items[i].value;
      if (k == 'y') {
        year = items[i].value;
        yearDigits = items[i].digits;
      }
    }
  } else if (items.size() == 2) {
    // Day and month in the locale's order, in the current year.
    const bool dayFirst = order.find('d') < order.find('M');
    day = items[dayFirst ? 0 : 1].value;
    month = items[dayFirst ? 1 : 0].value;
  } else {
    return false;
  }
  // Two-digit years: below 30 are 2000s, the rest 1900s.
  if (yearDigits <= 2) year += year < 30 ? 2000 : 1900;

  const DateTime result(year, month, day, hour, minute, second);
  if (!result.IsValid()) return false;
  value = result;
  return true;
}

}  // namespace meldrix
