#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/E2eHarness.h"
#include "support/DovecotRunner.h"
#include "support/FreePort.h"
#include "sources/MailServiceClient.h"
#include "sources/SocketClient.h"

namespace meldrix::testing {
namespace {

// Dovecot with one mailbox, meldrix-mailservice and meldrix with a kind-6
// source on that mailbox; every message goes to receiver 4711.
class MailSourceE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!dovecot_.Started()) GTEST_SKIP() << "no POP3 server for this test: " << dovecot_.Reason();
    setup_.WriteConfig("[Settings]\nAutoActivate=1\n"
                       "[MailService]\nEndpoint=127.0.0.1:" + std::to_string(servicePort_) +
                       "\n[InSource1]\nName=Postfach\nSource=6\nMailServer=127.0.0.1\nMailPort=" +
                       std::to_string(dovecot_.Port()) + "\nMailUser=alarm\nMailPassword=" + dovecot_.Password() +
                       "\nMailSSLMode=0\nMailAuth=PLAIN\n"
                       "[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\nText={{$MESSAGE}}\n");
    std::filesystem::create_directories(TraceFolder());
  }

  std::string TraceFolder() const { return setup_.File("trace"); }
  std::unique_ptr<LoggedProcess> StartService() {
    return std::make_unique<LoggedProcess>("meldrix-mailservice",
                                           std::vector<std::string>{"--port", std::to_string(servicePort_)},
                                           EnvironmentWith({}), setup_.File("service"));
  }
  std::unique_ptr<LoggedProcess> StartMeldrix(const std::string& logName) {
    return std::make_unique<LoggedProcess>(
        "meldrix", std::vector<std::string>{"-HIDE"},
        EnvironmentWith({"MELDRIX_DATA=" + setup_.DataFolder(), "MELDRIX_RUNTIME_DIR=" + setup_.RuntimeFolder(),
                         "MELDRIX_DDE_DIR=" + setup_.RuntimeFolder() + "/dde", "XDG_RUNTIME_DIR=" + TraceFolder()}),
        setup_.File(logName));
  }
  static std::vector<std::string> Sorted(std::vector<std::string> texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  static std::string Send(const std::string& text) { return "[send(*|4711|" + text + "|||||)]"; }

  // "<" and "&" reach Dovecot only if the request escaped and the service
  // read them back.
  DovecotRunner dovecot_{"s3cr<t&pw"};
  E2eSetup setup_;
  const int servicePort_ = FreePort();
};

// The three mails arrive as subject and body messages once, the mailbox is
// emptied, and a restart sends nothing again. The service is started late:
// until then the source only traces and retries.
TEST_F(MailSourceE2eTest, MailsReachKorvaneOnceAndLeaveTheMailbox) {
  dovecot_.Deliver("From: Leitstelle <alarm@example.org>\r\nTo: meldrix@example.org\r\n"
                   "Subject: =?UTF-8?B?RmV1ZXIgSGFsbGUgMyDDvA==?=\r\n\r\nBrand gemeldet\r\n");
  dovecot_.Deliver("From: bma@example.org\r\nTo: meldrix@example.org\r\nSubject: Zweite Meldung\r\n"
                   "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"XYZ\"\r\n\r\n"
                   "--XYZ\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                   "\r\nT=C3=BCr offen =\r\nim Stock 2\r\n--XYZ\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
                   "<p>T&uuml;r offen</p>\r\n--XYZ--\r\n");
  dovecot_.Deliver("From: c@example.org\r\nTo: meldrix@example.org\r\nSubject: Dritte\r\n\r\nZeile 1\r\nZeile 2\r\n");

  LoggedProcess trace("meldrix-trace", {"--socket", TraceFolder() + "/ostravel.TRAX4", "0x80000"},
                      EnvironmentWith({}), setup_.File("trace"));
  auto meldrix = StartMeldrix("meldrix");
  ASSERT_TRUE(WaitUntil([&] { return trace.OutputContains("Mail: Service not running"); }))
      << trace.Output() << meldrix->Output() << meldrix->Errors();
  EXPECT_TRUE(setup_.SentCommands().empty());
  EXPECT_EQ(meldrix->Errors(), "");

  auto service = StartService();
  const std::vector<std::string> expected = Sorted({Send("Feuer Halle 3 \xC3\xBC"), Send("Brand gemeldet"),
                                                    Send("Zweite Meldung"), Send("T\xC3\xBCr offen im Stock 2"),
                                                    Send("Dritte"), Send("Zeile 1 Zeile 2")});
  // The retry follows 10 s after the failed poll.
  ASSERT_TRUE(WaitUntil([&] { return setup_.SentCommands().size() >= expected.size(); }, std::chrono::seconds(40)))
      << meldrix->Output() << service->Errors();
  EXPECT_TRUE(WaitUntil([&] { return dovecot_.MailCount() == 0; })) << service->Errors() << dovecot_.Log();
  EXPECT_EQ(meldrix->Stop(), 0);
  EXPECT_EQ(Sorted(setup_.SentCommands()), expected);

  // After a restart only a new mail goes out.
  auto again = StartMeldrix("meldrix-again");
  dovecot_.Deliver("From: d@example.org\r\nSubject: Nachzuegler\r\n\r\n\r\n");
  ASSERT_TRUE(setup_.WaitForCommand("Nachzuegler")) << again->Output() << service->Errors();
  EXPECT_EQ(again->Stop(), 0);
  auto all = expected;
  all.push_back(Send("Nachzuegler"));
  EXPECT_EQ(Sorted(setup_.SentCommands()), Sorted(all));
  EXPECT_EQ(service->Stop(), 0);
}

// 150 unread mails make the source busy; all of them arrive.
TEST_F(MailSourceE2eTest, HundredFiftyMailsArrive) {
  for (int i = 1; i <= 150; ++i)
    dovecot_.Deliver("From: a@example.org\r\nSubject: Meldung " + std::to_string(i) + "\r\n\r\n\r\n");
  auto service = StartService();
  auto meldrix = StartMeldrix("meldrix");
  ASSERT_TRUE(WaitUntil([&] { return setup_.SentCommands().size() >= 150; }, std::chrono::seconds(120)))
      << setup_.SentCommands().size() << meldrix->Output() << service->Errors();
  EXPECT_TRUE(WaitUntil([&] { return dovecot_.MailCount() == 0; }));
  EXPECT_EQ(meldrix->Stop(), 0);
  // One count request fetched them all.
  EXPECT_NE(service->Errors().find(": 150 mail(s) fetched"), std::string::npos) << service->Errors();
  const auto sent = setup_.SentCommands();
  EXPECT_EQ(sent.size(), 150u);
  for (int i : {1, 75, 150})
    EXPECT_NE(std::find(sent.begin(), sent.end(), Send("Meldung " + std::to_string(i))), sent.end()) << i;
}

// The service refuses what it cannot do with a clear ResultCode and text,
// without any POP3 server.
TEST(MailServiceE2eTest, RefusalsAreClear) {
  TempFolder folder;
  const int port = FreePort();
  LoggedProcess service("meldrix-mailservice", {"--port", std::to_string(port)}, EnvironmentWith({}),
                        folder.File("service"));
  CMailServiceClient client("127.0.0.1", static_cast<std::uint16_t>(port));
  ASSERT_TRUE(WaitUntil([&] { return client.CountUnread("nobody").ok(); })) << service.Errors();

  MailboxSettings mailbox;
  mailbox.server = "127.0.0.1";
  mailbox.auth = "NTLM";
  auto reply = client.Register(mailbox);
  ASSERT_TRUE(reply.ok());
  EXPECT_NE(reply.reply->Integer("ResultCode"), 0);
  EXPECT_NE(reply.reply->Value("ResultText").find("NTLM"), std::string::npos);

  mailbox.auth = "AUTO";
  mailbox.sslMode = "SSL";
  reply = client.Register(mailbox);
  ASSERT_TRUE(reply.ok());
  EXPECT_EQ(reply.reply->Integer("ResultCode", -1), 0);
  EXPECT_EQ(reply.reply->Value("ServerKey"), MailServerKey(mailbox));

  struct Case {
    CMailServiceClient::Result result;
    const char* text;
  } refusals[] = {{client.CountUnread("nobody"), "not registered"},
                  {client.NextUnread(MailServerKey(mailbox)), "no unread mail"},
                  {client.MarkRead("no-such-token", MailServerKey(mailbox)), "unknown token"}};
  for (const Case& c : refusals) {
    ASSERT_TRUE(c.result.ok()) << c.text;
    EXPECT_NE(c.result.reply->Integer("ResultCode"), 0) << c.text;
    EXPECT_NE(c.result.reply->Value("ResultText").find(c.text), std::string::npos) << c.result.reply->Value("ResultText");
  }

  // A malformed request still gets a document back.
  CSocketClient raw;
  ASSERT_TRUE(raw.Connect("127.0.0.1", static_cast<std::uint16_t>(port), 2000));
  ASSERT_TRUE(raw.Send("<MailXML><FKTName>Get"));
  raw.Close();  // shuts the sending side; the reply is discarded
  CSocketClient bogus;
  ASSERT_TRUE(bogus.Connect("127.0.0.1", static_cast<std::uint16_t>(port), 2000));
  ASSERT_TRUE(bogus.Send("<MailXML><FKTName>Delete</FKTName></MailXML>"));
  std::string text;
  EXPECT_EQ(bogus.ReceiveReply(text, 5000, 1 << 20, CMailXmlDocument::IsComplete), CSocketClient::ReplyEnd::Complete);
  const auto unknown = CMailXmlDocument::Parse(text);
  ASSERT_TRUE(unknown);
  EXPECT_NE(unknown->Value("ResultText").find("unknown function"), std::string::npos);
  EXPECT_EQ(service.Stop(), 0);
}

}  // namespace
}  // namespace meldrix::testing
