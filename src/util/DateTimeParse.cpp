#include "util/DateTimeParse.h"

#include <algorithm>
#include <climits>
#include <string>

#include "util/RegExpr.h"
#include "platform/LocaleInfo.h"

namespace meldrix {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The forms, compiled once; each use works on its own copy (copies share the
// program and are safe on any thread).
struct Forms {
  const CRegExpr digits{"^[0-9]+$"};
  const CRegExpr isoLike{"^[0-9]+\\-[0-9]+\\-[0-9]+[- ][0-9]+\\:[0-9]+\\:[0-9]+(\\.[0-9]+)?$"};
  const CRegExpr dottedWithTime{"^[0-9]+\\.[0-9]+\\.?([0-9]+)? +[0-9]+\\:[0-9]+(\\:[0-9]+)?$"};
  const CRegExpr dotted{"^[0-9]+\\.[0-9]+\\.?([0-9]+)?$"};
  const CRegExpr timeOfDay{"^[0-9]+\\:[0-9]+(\\:[0-9]+)?$"};
  const CRegExpr cim{"^[0-9]+\\.[0-9]+[-+][0-9]+$"};
};

const Forms& TheForms() {
  static const Forms forms;
  return forms;
}

bool Matches(const CRegExpr& form, std::string_view text) {
  CRegExpr re = form;
  return re.Match(text);
}

// Two-digit years of the dotted forms: below 70 are 2000s, 70 to 99 are 1900s.
int CorrectYear(int year) {
  if (year < 70) return year + 2000;
  if (year < 100) return year + 1900;
  return year;
}

bool TryForms(std::string_view text, int sign, const DateTime& now, DateTime& value) {
  const Forms& forms = TheForms();
  int f[8] = {};

  if (Matches(forms.digits, text) && ScanFields(text, "%04d%02d%02d%02d%02d%02d", f, 8) == 6) {
    value = DateTime(f[0], f[1], f[2], f[3], f[4], f[5]);
    return true;
  }
  if (Matches(forms.isoLike, text) && (ScanFields(text, "%d-%d-%d-%d:%d:%d", f, 8) == 6 ||
                                       ScanFields(text, "%d-%d-%d %d:%d:%d", f, 8) == 6)) {
    value = DateTime(f[0], f[1], f[2], f[3], f[4], f[5]);
    return true;
  }
  if (Matches(forms.dottedWithTime, text)) {
    if (ScanFields(text, "%d.%d.%d %d:%d:%d", f, 8) == 6) {
      value = DateTime(CorrectYear(f[2]), f[1], f[0], f[3], f[4], f[5]);
      return true;
    }
    if (ScanFields(text, "%d.%d. %d:%d:%d", f, 8) == 5) {
      value = DateTime(now.Year(), f[1], f[0], f[2], f[3], f[4]);
      return true;
    }
    if (ScanFields(text, "%d.%d.%d %d:%d", f, 8) == 5) {
      // This form reads two-digit years up to 89 as 2000s.
      value = DateTime(f[2] < 90 ? f[2] + 2000 : f[2], f[1], f[0], f[3], f[4], 0);
      return true;
    }
    if (ScanFields(text, "%d.%d. %d:%d", f, 8) == 4) {
      value = DateTime(now.Year(), f[1], f[0], f[2], f[3], 0);
      return true;
    }
  }
  if (Matches(forms.dotted, text)) {
    if (ScanFields(text, "%d.%d.%d", f, 8) == 3) {
      value = DateTime(CorrectYear(f[2]), f[1], f[0]);
      return true;
    }
    if (ScanFields(text, "%d.%d.", f, 8) == 2) {
      value = DateTime(now.Year(), f[1], f[0]);
      return true;
    }
  }
  if (Matches(forms.timeOfDay, text)) {
    int n = ScanFields(text, "%d:%d:%d", f, 8);
    if (n != 3) {
      n = ScanFields(text, "%d:%d", f, 8) == 2 ? 2 : 0;
      f[2] = 0;
    }
    if (n != 0) {
      if (sign == 0)
        value = DateTime(now.Year(), now.Month(), now.Day(), f[0], f[1], f[2]);
      else
        value = now + DateTimeSpan(0, f[0], f[1], f[2]) * sign;
      return true;
    }
  }
  if (Matches(forms.cim, text) && ScanFields(text, "%04d%02d%02d%02d%02d%02d.%06d%d", f, 8) == 8) {
    // yyyymmddHHMMSS.ffffff followed by the offset in minutes
    value = DateTime(f[0], f[1], f[2], f[3], f[4], f[5]) + DateTimeSpan(0, 0, f[7], 0);
    return true;
  }
  return false;
}

}  // namespace

int ScanFields(std::string_view text, std::string_view pattern, int* fields, int maxFields) {
  std::size_t t = 0;
  int count = 0;
  for (std::size_t p = 0; p < pattern.size(); ++p) {
    const char c = pattern[p];
    if (IsBlank(c)) {
      while (t < text.size() && IsBlank(text[t])) ++t;
      continue;
    }
    if (c == '%' && p + 1 < pattern.size() && pattern[p + 1] != '%') {
      std::size_t width = 0;
      while (++p < pattern.size() && pattern[p] >= '0' && pattern[p] <= '9')
        width = width * 10 + static_cast<std::size_t>(pattern[p] - '0');
      if (p >= pattern.size() || pattern[p] != 'd') return count;  // only %d is used
      while (t < text.size() && IsBlank(text[t])) ++t;
      const std::size_t limit = width > 0 ? width : text.size();
      std::size_t used = 0;
      bool negative = false;
      if (t < text.size() && (text[t] == '+' || text[t] == '-') && used < limit) {
        negative = text[t] == '-';
        ++t;
        ++used;
      }
      long long number = 0;
      bool any = false;
      while (t < text.size() && used < limit && text[t] >= '0' && text[t] <= '9') {
        number = std::min<long long>(number * 10 + (text[t] - '0'), static_cast<long long>(INT_MAX) + 1);
        any = true;
        ++t;
        ++used;
      }
      if (!any) return count;
      if (negative) number = -number;
      if (count < maxFields)
        fields[count] = static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
      ++count;
      continue;
    }
    if (c == '%') ++p;  // "%%" matches one "%"
    if (t >= text.size() || text[t] != pattern[p]) return count;
    ++t;
  }
  return count;
}

bool ParseDateTime(std::string_view text, DateTime& value) {
  const DateTime now = DateTime::Now();
  value = now;
  if (text.empty()) return true;
  if (text.size() < 3) return false;

  std::string_view work;
  int sign = 0;
  if (text.starts_with("DT#")) {
    work = text.substr(3);
    if (work == "NOW") return true;
  } else {
    work = Trim(text);
    if (!work.empty() && (work.front() == '+' || work.front() == '-')) {
      sign = work.front() == '+' ? 1 : -1;
      work.remove_prefix(1);
    }
  }
  if (TryForms(work, sign, now, value)) return true;

  // What no fixed form takes: ISO 8601, mail dates, then the user's locale.
  DateTime parsed;
  if (ParseIsoDateTime(work, parsed) || ParseMailDateTime(work, parsed) ||
      ParseLocaleDateTime(work, UserLocale(), parsed)) {
    value = parsed;
    return true;
  }
  return false;
}

}  // namespace meldrix
