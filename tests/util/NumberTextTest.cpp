#include "platform/Env.h"
#include "util/Guid.h"
#include "util/NumberText.h"
#include "util/TrimWhiteSpace.h"

#include <cctype>
#include <clocale>
#include <cmath>
#include <set>

#include <gtest/gtest.h>

#include "platform/LocaleInfo.h"

using namespace meldrix;

TEST(NumberTextLocale, GermanDecimalComma) {
  ScopedEnv env(Env{.locale = FixedLocaleInfo::German()});
  EXPECT_EQ(NumberToText(2.5, true), "2,5");
  EXPECT_EQ(NumberToText(2.5, false), "2.5");
  EXPECT_DOUBLE_EQ(TextToNumber("2,5"), 2.5);
  // A "." still reads as the decimal point.
  EXPECT_DOUBLE_EQ(TextToNumber("2.5"), 2.5);
  // Every separator becomes "."; reading stops at the second point.
  EXPECT_DOUBLE_EQ(TextToNumber("1,234.5"), 1.234);
}

TEST(NumberTextLocale, FormatsLikePercentLg) {
  ScopedEnv env(Env{.locale = std::make_shared<FixedLocaleInfo>(
      "<>", "dd.MM.yyyy", "HH:mm:ss", std::array<std::string, 7>{})});
  EXPECT_EQ(NumberToText(1.0 / 3.0, true), "0<>333333");
  EXPECT_EQ(NumberToText(1e20, true), "1e+20");
  EXPECT_EQ(NumberToText(-0.0001, false), "-0.0001");
  EXPECT_EQ(NumberToText(123456789.0, false), "1.23457e+08");
  EXPECT_EQ(NumberToText(42, true), "42");
  EXPECT_DOUBLE_EQ(TextToNumber("3<>75"), 3.75);
}

TEST(NumberTextLocale, IgnoresTheProcessLocale) {
  // Even when some code switched the C library's locale, "." stays "." here.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr)
      << "locale de_DE.UTF-8 missing: run scripts/install-deps";
  ScopedEnv env(Env{.locale = FixedLocaleInfo::English()});
  EXPECT_EQ(NumberToText(0.5, true), "0.5");
  EXPECT_DOUBLE_EQ(TextToNumber("0.5"), 0.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(NumberTextLocale, ReadsOnlyTheLeadingDecimalNumber) {
  ScopedEnv env(Env{.locale = FixedLocaleInfo::English()});
  const std::pair<std::string, double> rows[] = {
      {" \t\n-12.5e2xyz", -1250.0}, {"+.5", 0.5}, {"7.", 7.0}, {"3e", 3.0}, {"3e+x", 3.0}, {"abc", 0.0},
      {"", 0.0}, {".", 0.0}, {"-", 0.0}, {std::string("5\0" "7", 3), 5.0},
      {"Info 3", 0.0}, {"nan", 0.0}, {"0x1A", 0.0}};  // words that begin like special values are no numbers
  for (const auto& [text, value] : rows) EXPECT_DOUBLE_EQ(TextToNumber(text), value) << text;
  EXPECT_TRUE(std::isinf(TextToNumber("1e999")));
}

TEST(TrimWhiteSpace, AllSixWhiteSpaceCharacters) {
  EXPECT_EQ(TrimWhiteSpace(" \t\n\v\f\rx y\r\n "), "x y");
  EXPECT_EQ(TrimWhiteSpace(" \t "), "");
  EXPECT_EQ(TrimWhiteSpace("\xA0x\xA0"), "\xA0x\xA0");  // no-break space is text
  EXPECT_EQ(TrimWhiteSpace(std::string("\0x\0", 3)), std::string("\0x\0", 3));
}

TEST(NewGuidText, RegistryAndCompactForms) {
  const std::string guid = NewGuidText(false);
  std::string shape = guid;
  for (char& c : shape) c = std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F') ? 'h' : c;
  EXPECT_EQ(shape, "{hhhhhhhh-hhhh-hhhh-hhhh-hhhhhhhhhhhh}") << guid;  // upper-case hex digits only
  EXPECT_EQ(guid[15], '4') << "version 4";
  EXPECT_NE(std::string("89AB").find(guid[20]), std::string::npos) << "RFC 4122 variant";
  const std::string compact = NewGuidText(true);
  EXPECT_EQ(compact.size(), 32u);
  EXPECT_EQ(compact.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) seen.insert(NewGuidText(true));
  EXPECT_EQ(seen.size(), 1000u);
}
