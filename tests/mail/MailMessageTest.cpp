#include <gtest/gtest.h>

#include "mail/MailMessage.h"

namespace meldrix {
namespace {

TEST(MailMessageRecipientsTest, LookupAndDisplayForm) {
  CMailMessage mail;
  mail.AddRecipient("a@x.de");
  mail.AddRecipient("b@x.de", "Bea", CMailMessage::Cc);
  ASSERT_TRUE(mail.GetRecipient(0).has_value());
  EXPECT_EQ(mail.GetRecipient(0)->DisplayForm(), "a@x.de");
  EXPECT_EQ(mail.GetRecipient(0, CMailMessage::Cc)->DisplayForm(), "Bea <b@x.de>");
  EXPECT_FALSE(mail.GetRecipient(1).has_value());
  EXPECT_FALSE(mail.GetRecipient(0, CMailMessage::Bcc).has_value());
  mail.Clear();
  EXPECT_EQ(mail.RecipientCount(), 0u);
}

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
  };
  for (const auto& [header, text] : cases) EXPECT_EQ(CMailMessage::DecodeEncodedWord(header), text) << header;
}

CMailMessage WithBody(std::string body, std::string encoding = "") {
  CMailMessage mail;
  mail.body = std::move(body);
  mail.transferEncoding = std::move(encoding);
  mail.DecodeBody();
  return mail;
}

TEST(BodyDecodingTest, SinglePartByTransferEncodingAndTopLevelCharset) {
  CMailMessage mail;
  mail.contentType = "text/plain; CHARSET=utf-8; format=flowed";
  mail.transferEncoding = "quoted-printable";
  mail.body = "Gr=C3=BC=C3=9Fe aus Li=C3=A8ge =E2=82=AC";
  mail.DecodeBody();
  EXPECT_EQ(mail.body, "Gr\xFC\xDF" "e aus Li\xE8ge \x80");
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
  CMailMessage quoted;  // the boundary comes quoted from the content type
  quoted.contentType = "multipart/mixed; boundary=\"===============123==\"";
  quoted.body = "--===============123==\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n"
                "Content-Transfer-Encoding: 7bit\r\n\r\nAlarm 7\r\n--===============123==--\r\n";
  quoted.DecodeBody();
  EXPECT_EQ(quoted.body, "Alarm 7");
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

}  // namespace
}  // namespace meldrix
