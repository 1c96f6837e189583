#include "util/HtmlText.h"
#include "util/XmlEscape.h"

#include <gtest/gtest.h>

using namespace meldrix;

TEST(HtmlText, EntitiesLineBreaksTablesAndEscapes) {
  const std::pair<std::string, std::string> rows[] = {  // result, expected
      {TextToHtml("a<b\r\n\xC4", false), "a&lt;b<br>\r\n&Auml;"}, {TextToHtml("x\ty", false), "x&nbsp;&nbsp;y"},
      // "&" is escaped once, not again inside the entities produced.
      {TextToHtml("&\xA0\"", false), "&amp;&nbsp;&quot;"},
      {TextToHtml("a\rb\nc", false), "a\rb\nc"},  // a lone CR or LF is no line break
      // Latin-1 symbols outside the table pass unchanged; so do other bytes.
      {TextToHtml("\xA8\xAA\xAC\xAF\xB9\xBA\x80", false), "\xA8\xAA\xAC\xAF\xB9\xBA\x80"},
      {TextToHtml("\xD7\xF7\xDF\xFF", false), "&times;&divide;&szlig;&yuml;"},
      {TextToHtml("x\ty\r\nz", true), "<tr><td>x</td><td>y</td></tr>\r\n<tr><td>z</td></tr>"},
      {TextToHtml("", true), "<tr><td></td></tr>"},
      {HtmlToText("&quot;1&quot;<br>2"), "\"1\"\r\n2"},
      {HtmlToText("<b>&Uuml;ber</b> &szlig;&amp;"), "<b>\xDC" "ber</b> \xDF&"},
      // Unknown or unfinished entities and other case forms stay as they are.
      {HtmlToText("&euro; &AMP; &amp <BR> &#196;"), "&euro; &AMP; &amp <BR> &#196;"},
      {HtmlToText("&amp;lt;"), "&lt;"}, {HtmlToText("&lt;br&gt;"), "<br>"},  // decoded once: escaped markup survives
      {HtmlToText("&&amp;;&frac14;&fraC14;"), "&&;\xBC&fraC14;"},
      // A line break comes back doubled: "<br>" and the CR LF behind it.
      {HtmlToText(TextToHtml("a\r\nb", false)), "a\r\n\r\nb"},
      {XmlEscape("M\xFCller & S\xF6hne"), "M&#252;ller &#x26; S&#246;hne"},
      {XmlEscape("<a b='c' d=\"e\">"), "&lt;a b=&apos;c&apos; d=&quot;e&quot;&gt;"},
      {XmlEscape("\xC4\xD6\xDC\xE4\xF6\xFC\xDF\xE9"), "&#196;&#214;&#220;&#228;&#246;&#252;&#223;\xE9"},
      {XmlEscape(std::string("a\0b", 3)), std::string("a\0b", 3)},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

TEST(HtmlText, RoundTripKeepsEveryByteAndManyAmpersandsStayLinear) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  all.erase(9, 1);  // tabs become blanks in HTML
  all += "&lt; <br>";
  EXPECT_EQ(HtmlToText(TextToHtml(all, false)), all);
  const std::string text(200000, '&');
  EXPECT_EQ(HtmlToText(text), text);
}
