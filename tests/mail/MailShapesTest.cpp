// Mail shapes as real clients and alarm devices send them.
#include <gtest/gtest.h>

#include "mail/HtmlPartText.h"
#include "mail/MailMessage.h"
#include "mail/MimeHeader.h"

namespace meldrix {
namespace {

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
      // HTML only with an attachment (Python's email package): the HTML as
      // text; no boundary, part header or base64 line.
      {"html only",
       Multipart({"Content-Type: text/html; charset=\"utf-8\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
                  "<html><head><style>p {color:red}</style></head><body><p>Brand &amp; Rauch</p>\r\n"
                  "<div>Halle<br>3</div></body></html>\r\n",
                  "Content-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n"
                  "Content-Disposition: attachment; filename=\"plan.pdf\"\r\n\r\nJVBERi0xLjQ=\r\n"}),
       "Brand & Rauch\r\nHalle\r\n3"},
      {"attachment only", Multipart({"Content-Type: application/octet-stream\r\n\r\nQUJD\r\n"}), ""},
      // A text file attached is no body text.
      {"text attachment",
       Multipart({"Content-Type: text/html\r\n\r\n<p>Alarm</p>\r\n",
                  "Content-Type: text/plain\r\nContent-Disposition: attachment; filename=log.txt\r\n\r\nlog\r\n"}),
       "Alarm"},
      // A folded part header keeps its charset.
      {"folded charset",
       Multipart({"Content-Type: text/plain;\r\n\tcharset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                  "Caf\xC3\xA9 ge\xC3\xB6" "ffnet\r\n"}),
       "Caf\xE9 ge\xF6" "ffnet"},
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

TEST(MailShapesTest, SinglePartQuotedPrintableKeepsUnderscores) {
  CMailMessage mail;
  mail.transferEncoding = "quoted-printable";
  mail.body = "Wert_1 =3D 5";
  mail.DecodeBody();
  EXPECT_EQ(mail.body, "Wert_1 = 5");
}

TEST(MailShapesTest, RawUtf8SubjectIsRepaired) {
  struct Case {
    std::string raw, decoded;
  } cases[] = {
      {"St\xC3\xB6rung", "St\xF6rung"},
      {"T\xC3\xBCr", "T\xFCr"},  // shorter than any encoded word
      {"Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xE9 \x80"},
      {"Re: St\xC3\xB6rung =?utf-8?Q?T=C3=BCr_3?=", "Re: St\xF6rung T\xFCr 3"},  // "_" is a blank in Q words
      {"Stra\xDF" "e frei", "Stra\xDF" "e frei"},  // Windows-1252 stays
  };
  for (const Case& c : cases) EXPECT_EQ(CMailMessage::DecodeEncodedWord(c.raw), c.decoded) << c.raw;
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
