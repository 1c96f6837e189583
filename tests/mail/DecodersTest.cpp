#include <gtest/gtest.h>

#include "mail/Base64.h"
#include "mail/QuotedPrintable.h"
#include "mail/Utf8FixUp.h"

namespace meldrix {
namespace {

TEST(QuotedPrintableTest, DecodesEscapesSoftBreaksAndUnderscores) {
  const std::pair<const char*, const char*> rows[] = {
      {"a_b=3Dc", "a b=c"}, {"lower=e4 upper=E4", "lower\xE4 upper\xE4"}, {"soft=\r\nbreak", "softbreak"},
      {"end=", "end"}, {"end=4", "end4"},  // a trailing "=" with fewer than two characters behind it is dropped
      {"a=ZZb", "a=ZZb"},                  // an "=" that starts no escape is kept with what follows
      {"line1\r\nline2", "line1\r\nline2"}};
  for (const auto& [encoded, text] : rows) EXPECT_EQ(CQuotedPrintable().Decode(encoded), text) << encoded;
}

TEST(QuotedPrintableTest, NeverWritesBeyondTheDestination) {
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(CQuotedPrintable().Decode("abcdef", std::span<char>(buffer, 3)), 3u);
  EXPECT_EQ(std::string(buffer, 4), "abcx");
}

TEST(Base64Test, DecodesFullAndPartialGroupsSkippingLineEnds) {
  const std::pair<const char*, std::string> rows[] = {
      {"SGFsbG8=", "Hallo"}, {"SGFs\r\nbG8gV2VsdA==", "Hallo Welt"}, {"YQ", "a"} /* unpadded last group */,
      {"+/+/", "\xFB\xFF\xBF"}, {"", ""}, {"AAECAwQF", std::string("\x00\x01\x02\x03\x04\x05", 6)}};
  for (const auto& [encoded, bytes] : rows) EXPECT_EQ(CBase64().Decode(encoded), bytes) << encoded;
}

TEST(Utf8FixUpTest, MapsTheTableAndNothingElse) {
  EXPECT_EQ(Utf8FixUp("\xC3\xA4\xC3\x84\xC3\xB6\xC3\x96\xC3\xBC\xC3\x9C\xC3\x9F\xC3\x98\xC3\xB8"),
            "\xE4\xC4\xF6\xD6\xFC\xDC\xDF\xD8\xF8");
  EXPECT_EQ(Utf8FixUp("20\xC2\xB0 \xC2\xB1" "5 \xC2\xB5m"), "20\xB0 \xB1" "5 \xB5m");
  // Other UTF-8 characters (here the euro sign and é) stay untouched.
  EXPECT_EQ(Utf8FixUp("\xE2\x82\xAC \xC3\xA9"), "\xE2\x82\xAC \xC3\xA9");
  EXPECT_EQ(Utf8FixUp("\xC3"), "\xC3");
}

TEST(Utf8FixUpTest, QuotedPrintableMappingRewritesEscapes) {
  EXPECT_EQ(QuotedPrintableUtf8Mapping("Gr=C3=BC=C3=9Fe 20=C2=B0C"), "Gr=FC=DFe 20=B0C");
  EXPECT_EQ(QuotedPrintableUtf8Mapping("=C3=A9 =C3"), "=C3=A9 =C3");
  EXPECT_EQ(CQuotedPrintable().Decode(QuotedPrintableUtf8Mapping("S=C3=BCd")), "S\xFC" "d");
}

}  // namespace
}  // namespace meldrix
