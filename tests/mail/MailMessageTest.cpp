#include <gtest/gtest.h>

#include "mail/HtmlPartText.h"
#include "mail/MailMessage.h"
#include "mail/MimeHeader.h"

namespace meldrix {
namespace {

TEST(EncodedWordTest, WordsOfEveryEncodingAndCharset) {
  const std::pair<const char*, const char*> cases[] = {
      // "Grüße" in UTF-8: Base64 and Q words give the same single bytes.
      {"=?UTF-8?B?R3LDvMOfZQ==?=", "Gr\xFC\xDF" "e"},
      {"Re: =?utf-8?B?R3LDvMOfZQ==?= !", "Re: Gr\xFC\xDF" "e !"},
      {"=?utf-8?b?R3LDvMOfZQ==?=", "Gr\xFC\xDF" "e"},
      {"=?utf-8?Q?Gr=C3=BC=C3=9Fe?=", "Gr\xFC\xDF" "e"},
      {"=?iso-8859-1?q?Brand_Halle_S=FCd?=", "Brand Halle S\xFC" "d"},
      // Every word is decoded, the blanks between two words are dropped, a
      // Base64 word before a Q word is not skipped.
      {"=?utf-8?Q?A=C3=BC?= =?utf-8?Q?_B=C3=BC?=", "A\xFC B\xFC"},
      {"x =?utf-8?B?R3LDvMOfZQ==?= y =?ISO-8859-1?Q?S=FCd?= z", "x Gr\xFC\xDF" "e y S\xFC" "d z"},
      {"=?windows-1252?b?U/xk?=", "S\xFC" "d"},
      {"cut =?utf-8?q?S=C3=BCd", "cut S\xFC" "d"},
      // Declared UTF-8 is converted beyond the repair table; invalid UTF-8
      // keeps its bytes; other charsets only get the repair.
      {"=?utf-8?q?caf=C3=A9_=E2=82=AC_=c3=bc?=", "caf\xE9 \x80 \xFC"},
      {"=?UTF-8?Q?=C3=BC=C3=A9?=", "\xFC\xE9"},
      {"=?utf-8?q?=C3=BC=FF?=", "\xFC\xFF"},
      {"=?iso-8859-1?q?caf=E9?=", "caf\xE9"},
      // Plain, short and unknown forms stay.
      {"=?a?Q?", "=?a?Q?"},
      {"Alarm Halle 3", "Alarm Halle 3"},
      {"=?koi8-r?X?abc?=", "=?koi8-r?X?abc?="},
      // Raw UTF-8, as some devices send it, gets the repair; Windows-1252 stays.
      {"St\xC3\xB6rung", "St\xF6rung"},
      {"T\xC3\xBCr", "T\xFCr"},  // shorter than any encoded word
      {"Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xE9 \x80"},
      {"Re: St\xC3\xB6rung =?utf-8?Q?T=C3=BCr_3?=", "Re: St\xF6rung T\xFCr 3"},  // "_" is a blank in Q words
      {"Stra\xDF" "e frei", "Stra\xDF" "e frei"},
  };
  for (const auto& [header, text] : cases) EXPECT_EQ(CMailMessage::DecodeEncodedWord(header), text) << header;
}

CMailMessage WithBody(std::string body, std::string encoding = "", std::string contentType = "") {
  CMailMessage mail;
  mail.contentType = std::move(contentType);
  mail.body = std::move(body);
  mail.transferEncoding = std::move(encoding);
  mail.DecodeBody();
  return mail;
}

TEST(BodyDecodingTest, SinglePartByTransferEncodingAndTopLevelCharset) {
  EXPECT_EQ(WithBody("Gr=C3=BC=C3=9Fe aus Li=C3=A8ge =E2=82=AC", "quoted-printable",
                     "text/plain; CHARSET=utf-8; format=flowed").body,
            "Gr\xFC\xDF" "e aus Li\xE8ge \x80");
  EXPECT_EQ(WithBody("Feuer_in=20Halle=3D3\r\nS=C3=BCd=\r\nfl=FCgel", "Quoted-Printable").body,
            "Feuer_in Halle=3\r\nS\xFC" "dfl\xFCgel");
  EXPECT_EQ(WithBody("R3LDvMOfZQ==\r\n", "BASE64").body, "Gr\xFC\xDF" "e");
  EXPECT_EQ(WithBody("x=41_\r\nS\xC3\xBC" "d", "8bit").body, "x=41_\r\nS\xFC" "d");
}

TEST(MultipartTest, TextPartBecomesTheBody) {
  const CMailMessage mail = WithBody(
      "This is a multi-part message in MIME format.\r\n--------------A1B2C3\r\n"
      "Content-Type: text/plain; charset=UTF-8; format=flowed\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
      "Brand in Halle S=C3=BCd\r\nBitte sofort kommen\r\n--------------A1B2C3\r\n"
      "Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: 7bit\r\n\r\n<p>Brand</p>\r\n"
      "--------------A1B2C3\r\nContent-Type: application/pdf; name=\"plan.pdf\"\r\n"
      "Content-disposition: attachment; filename=\"plan.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "JVBERi0=\r\n--------------A1B2C3--\r\n");
  EXPECT_EQ(mail.body, "Brand in Halle S\xFC" "d\r\nBitte sofort kommen");
  EXPECT_EQ(mail.htmlBody, "<p>Brand</p>");
  EXPECT_EQ(mail.attachmentName, "plan.pdf");
}

TEST(MultipartTest, NestingCharsetsAndOrderOfParts) {
  const std::pair<std::string, std::string> rows[] = {
      {"This is a multipart message\r\n------=_outer\r\nContent-Type: multipart/alternative;\r\n"
       "\tboundary=\"inner\"\r\n\r\n--inner\r\nContent-Type: text/plain; charset=utf-8\r\n"
       "Content-Transfer-Encoding: base64\r\n\r\nR3LDvMOfZQ==\r\n--inner\r\nContent-Type: text/html\r\n\r\n"
       "<b>x</b>\r\n--inner--\r\n------=_outer--\r\n",
       "Gr\xFC\xDF" "e"},
      // The part's charset decides the conversion.
      {"multipart\r\n------b\r\nContent-Type: text/plain; charset=\"UTF-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
       "Pr\xC3\xA9sence \xE2\x82\xAC\r\n------b--\r\n",
       "Pr\xE9sence \x80"},
      // A later text part replaces an earlier one; parts default to quoted-printable.
      {"multipart\r\n------b\r\nContent-Type: text/plain\r\n\r\nfirst\r\n------b\r\nContent-Type: text/plain\r\n\r\n"
       "second=20part\r\n------b--\r\n",
       "second part"},
      // Without a boundary the body stays undecoded.
      {"multipart without parts\r\nline =41\r\n", "multipart without parts\r\nline =41\r\n"},
  };
  for (const auto& [raw, body] : rows) EXPECT_EQ(WithBody(raw).body, body) << raw;
  EXPECT_EQ(WithBody(rows[0].first).htmlBody.substr(0, 8), "<b>x</b>");
}

// Mail shapes as real clients and alarm devices send them.
// A multipart body of the given parts (each header lines, empty line, content).
std::string Multipart(std::initializer_list<std::string> parts) {
  std::string body = "This is a multi-part message in MIME format.\r\n";
  for (const std::string& part : parts) body += "--b1\r\n" + part;
  return body + "--b1--\r\n";
}

TEST(MailShapesTest, BodyTextOfMultipartShapes) {
  struct Case {
    const char* name;
    std::string body;
    std::string expected;
  } cases[] = {
      {"attachment only", Multipart({"Content-Type: application/octet-stream\r\n\r\nQUJD\r\n"}), ""},
      // A text file attached is no body text.
      {"text attachment",
       Multipart({"Content-Type: text/html\r\n\r\n<p>Alarm</p>\r\n",
                  "Content-Type: text/plain\r\nContent-Disposition: attachment; filename=log.txt\r\n\r\nlog\r\n"}),
       "Alarm"},
      // Names in any case, parameters in any order, quoted or not.
      {"header case",
       Multipart({"content-type: TEXT/PLAIN; format=flowed;\r\n CHARSET=\"UTF-8\"\r\n"
                  "content-transfer-encoding: BASE64\r\n\r\nQ2Fmw6k=\r\n"}),
       "Caf\xE9"},
      // In a body an underscore is a literal character.
      {"qp underscore",
       Multipart({"Content-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\nWert_1=3D5\r\n"}),
       "Wert_1=5"},
  };
  for (const Case& c : cases) {
    CMailMessage mail;
    mail.contentType = "multipart/mixed; boundary=b1";
    mail.body = c.body;
    mail.DecodeBody();
    EXPECT_EQ(mail.body, c.expected) << c.name;
  }
}

TEST(MailShapesTest, MimeHeaderParameters) {
  const CMimeHeader header =
      CMimeHeader::Parse(" text/plain ; Format=flowed;charset = \"utf\\\"8\" ; x ; name=a b ;");
  EXPECT_EQ(header.value, "text/plain");
  EXPECT_EQ(header.Parameter("FORMAT"), "flowed");
  EXPECT_EQ(header.Parameter("charset"), "utf\"8");
  EXPECT_EQ(header.Parameter("name"), "a b");
  EXPECT_EQ(header.Parameter("x"), "");
}

TEST(MailShapesTest, HtmlPartText) {
  struct Case {
    const char* html;
    const char* text;
  } cases[] = {
      {"<p>a</p><p>b</p>", "a\r\nb"},
      {"<P CLASS=x>a\r\n  b</P>", "a b"},
      {"<script>var x = '<p>';</script>T<!-- <p>hidden</p> -->x", "Tx"},
      {"&lt;b&gt; &uuml;", "<b> \xFC"},
      {"a<br/>b<BR>c", "a\r\nb\r\nc"},
      {"cut <b", "cut"},
  };
  for (const Case& c : cases) EXPECT_EQ(HtmlPartToText(c.html), c.text) << c.html;
}

}  // namespace
}  // namespace meldrix
