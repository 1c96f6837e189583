#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sources/SmtpSvrSocketHandler.h"
#include "util/TraceToolRunner.h"

namespace meldrix {
namespace {

// Runs the dialogue without a socket: replies and finished mails are recorded.
class RecordingHandler : public CSmtpSvrSocketHandler {
 public:
  explicit RecordingHandler(SmtpLimits limits = {})
      : CSmtpSvrSocketHandler(limits, [this](const std::string& line) { logLines.push_back(line); }) {}

  bool Send(std::string_view text) override {
    replies.emplace_back(text);
    return true;
  }
  void OnMailReceived(CMailMessage& mail) override { mails.push_back(mail); }

  // Sends text and returns the replies it produced.
  std::vector<std::string> Say(const std::string& text) {
    const std::size_t before = replies.size();
    OnBytesReceived(text.data(), text.size());
    return {replies.begin() + static_cast<long>(before), replies.end()};
  }
  std::string SayOne(const std::string& line) {
    const auto got = Say(line + "\r\n");
    return got.size() == 1 ? got[0] : "<" + std::to_string(got.size()) + " replies>";
  }

  std::vector<std::string> replies;
  std::vector<CMailMessage> mails;
  std::vector<std::string> logLines;
};

// Greeting and envelope up to the data phase.
const std::string kEnvelope = "HELO x\r\nMAIL From: a\r\nRCPT To: b\r\nDATA\r\n";

TEST(SmtpDialogueTest, FullMailWithHeaderFieldsAndQuit) {
  RecordingHandler h;
  h.OnConnectionOpened();
  EXPECT_EQ(h.replies.at(0), "220 ostravel SMTP message sink\r\n");
  EXPECT_EQ(h.SayOne("EHLO client"), "250 ostravel says hello\r\n");
  EXPECT_EQ(h.SayOne("VRFY  someone "), "250 someone\r\n");
  EXPECT_EQ(h.SayOne("MAIL From: alarm@plant.de"), "250 sender ok: alarm@plant.de\r\n");
  EXPECT_EQ(h.SayOne("RCPT To: Leitstelle <ls@x.de>"), "250 receiver ok: Leitstelle <ls@x.de>\r\n");
  EXPECT_EQ(h.SayOne("DATA"), "354 send data.\r\n");
  EXPECT_TRUE(h.Say("From: Anlage <anlage@plant.de>\r\nTo: other@x.de\r\nDate: Sun, 6 Dec 2026 10:00:00 +0100\r\n"
                    "Subject: =?UTF-8?B?R3LDvMOfZQ==?=\r\nMessage-ID: <1@x>\r\nX-Mailer: test\r\n"
                    "X-Unknown: ignored\r\n\r\nline 1\r\nline 2\r\n")
                  .empty());
  EXPECT_EQ(h.SayOne("."), "250 ok.\r\n");
  ASSERT_EQ(h.mails.size(), 1u);
  const CMailMessage& mail = h.mails[0];
  EXPECT_EQ(mail.sender, "anlage@plant.de");
  EXPECT_EQ(mail.GetRecipient(0)->address, "ls@x.de");
  EXPECT_EQ(mail.GetRecipient(1)->address, "other@x.de");
  EXPECT_FALSE(mail.GetRecipient(2).has_value());
  EXPECT_EQ(mail.subject, "Gr\xFC\xDF" "e");
  EXPECT_EQ(mail.dateText, "Sun, 6 Dec 2026 10:00:00 +0100");
  ASSERT_TRUE(mail.date.IsValid());
  EXPECT_EQ(mail.date.Year(), 2026);  // converted to local time: the day may shift, the year not
  EXPECT_EQ(mail.date.Month(), 12);
  EXPECT_EQ(mail.messageId, "<1@x>");
  EXPECT_EQ(mail.mailer, "test");
  EXPECT_EQ(mail.body, "line 1\r\nline 2");
  EXPECT_EQ(h.SayOne("QUIT"), "221 closing\r\n");
  EXPECT_TRUE(h.CloseRequested());
}

TEST(SmtpDialogueTest, CommandsOutOfPlaceAreNotRecognized) {
  RecordingHandler h;
  EXPECT_EQ(h.SayOne("MAIL From: a@b"), "500 Command not recognized: MAIL\r\n");
  EXPECT_EQ(h.SayOne("DATA"), "500 Command not recognized: DATA\r\n");
  EXPECT_EQ(h.SayOne("x"), "500 Command not recognized: x\r\n");
  EXPECT_TRUE(h.Say("\r\n").empty());
  EXPECT_EQ(h.State(), 0);
  h.SayOne("HELO x");
  EXPECT_EQ(h.SayOne("NOOP"), "500 Command not recognized: NOOP\r\n");
  EXPECT_EQ(h.SayOne("HELO again"), "500 Command not recognized: HELO\r\n");
  EXPECT_EQ(h.State(), 1);
}

TEST(SmtpDialogueTest, DotLinesAreUnstuffedAndSegmentsJoined) {
  RecordingHandler h;
  // Bytes arrive in odd pieces; CR LF split between two pieces is one line end.
  for (const std::string piece : {"HELO x\r", "\nMAIL From: a\r\nRCPT To: b\r\nDA", "TA\r\n\r\n", "..\r\nx\r",
                                  "\n..y\nlast\r\n.", "\r\n"}) {
    h.Say(piece);
  }
  ASSERT_EQ(h.mails.size(), 1u);
  EXPECT_EQ(h.mails[0].body, ".\r\nx\r\n.y\r\nlast");
  EXPECT_EQ(h.replies.back(), "250 ok.\r\n");
}

// A mail of headers only ends at "." like any other, with an empty body; the
// next mail on the connection starts afresh; QUIT in the header drops a mail.
TEST(SmtpDialogueTest, MailsOnOneConnection) {
  RecordingHandler h;
  h.Say(kEnvelope + "Subject: only\r\n");
  EXPECT_EQ(h.SayOne("."), "250 ok.\r\n");
  ASSERT_EQ(h.mails.size(), 1u);
  EXPECT_EQ(h.mails[0].subject, "only");
  EXPECT_EQ(h.mails[0].body, "");
  // Commands in lower case, addresses in angle brackets, with parameters.
  EXPECT_EQ(h.SayOne("mail from:<c@x>"), "250 sender ok: <c@x>\r\n");
  EXPECT_EQ(h.SayOne("rcpt to:<d@x> NOTIFY=NEVER"), "250 receiver ok: <d@x> NOTIFY=NEVER\r\n");
  h.Say("DATA\r\nSubject: two\r\n\r\nsecond\r\n.\r\n");
  ASSERT_EQ(h.mails.size(), 2u);
  EXPECT_EQ(h.mails[1].sender, "c@x");
  EXPECT_EQ(h.mails[1].RecipientCount(), 1u);  // the first mail's recipient is gone
  EXPECT_EQ(h.mails[1].GetRecipient(0)->address, "d@x");
  EXPECT_EQ(h.mails[1].body, "second");
  h.Say("MAIL From: e\r\nRCPT To: f\r\nDATA\r\nSubject: s\r\n");
  EXPECT_EQ(h.SayOne("QUIT"), "221 closing\r\n");
  EXPECT_TRUE(h.CloseRequested());
  EXPECT_EQ(h.mails.size(), 2u);
}

TEST(SmtpDialogueTest, FoldedSubjectAndContentTypeAreUnfolded) {
  RecordingHandler h;
  h.Say(kEnvelope +
        "Subject: Brand Halle 3\r\n Tor Nord\r\n"
        "Content-Type: multipart/mixed;\r\n boundary=\"===b==\"\r\n"
        "\r\n"
        "--===b==\r\nContent-Type: text/plain\r\n\r\nAlarm=20A\r\n--===b==--\r\n.\r\n");
  ASSERT_EQ(h.mails.size(), 1u);
  EXPECT_EQ(h.mails[0].subject, "Brand Halle 3 Tor Nord");
  EXPECT_EQ(h.mails[0].body, "Alarm A");
}

TEST(SmtpDialogueTest, LongLinesAreCutAndLargeMailsTruncatedButFinished) {
  SmtpLimits limits;
  limits.maxLineLength = 16;
  limits.maxMailSize = 40;
  RecordingHandler h(limits);
  h.Say(kEnvelope + "\r\n");
  h.Say(std::string(100, 'A') + "\r\n");
  h.Say("bbbbbbbbbb\r\ncccccccccc\r\ndddddddddd\r\n.\r\n");
  ASSERT_EQ(h.mails.size(), 1u);
  EXPECT_EQ(h.mails[0].body, std::string(16, 'A') + "\r\nbbbbbbbbbb");
  EXPECT_EQ(h.replies.back(), "250 ok.\r\n");
  EXPECT_EQ(h.logLines.size(), 2u);  // one line cut, one mail truncated
  // The next mail starts with a fresh budget.
  h.Say("MAIL From: a\r\nDATA\r\n\r\nshort\r\n.\r\n");
  ASSERT_EQ(h.mails.size(), 2u);
  EXPECT_EQ(h.mails[1].body, "short");
}

TEST(SmtpDialogueTest, AddressReduction) {
  EXPECT_EQ(CSmtpSvrSocketHandler::ReduceAddress("\"Name\" <a@b.de>"), "a@b.de");
  EXPECT_EQ(CSmtpSvrSocketHandler::ReduceAddress("plain@b.de"), "plain@b.de");
  EXPECT_EQ(CSmtpSvrSocketHandler::ReduceAddress("<>"), "");
  // A hostile argument ends in bounded time and stays as it is.
  const std::string hostile(60000, '<');
  EXPECT_EQ(CSmtpSvrSocketHandler::ReduceAddress(hostile), hostile);
}

class SmtpTraceTest : public TraceToolFixture {};

TEST_F(SmtpTraceTest, RepliesReceivedLinesAndDecodingAreTraced) {
  auto tool = StartTool({"0x80000"});
  RecordingHandler h;
  h.OnConnectionOpened();
  h.Say("HELO x\r\nMAIL From: <a@b>\r\nDATA\r\nContent-Transfer-Encoding: base64\r\n\r\nQWxhcm0=\r\n.\r\n");
  const std::string out = tool->ReadUntil("SMTP TX(9): 250 ok.<CR><LF>\n");
  for (const char* text : {"SMTP TX(32): 220 ostravel SMTP message sink<CR><LF>\n", "SMTP RX(6): HELO x\n",
                           "SMTP TX(25): 250 ostravel says hello<CR><LF>\n", "SMTP RX(16): MAIL From: <a@b>\n",
                           "MailMessage: BodyEncoding - base64 \n", "DecodeText: ContentEncoding - base64 \n",
                           "DecodeText: Base64 detected\n", "DecodeText: Decoded: Alarm \n"}) {
    EXPECT_NE(out.find(text), std::string::npos) << text << "\nin:\n" << out;
  }
}

}  // namespace
}  // namespace meldrix
