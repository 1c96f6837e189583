#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "SocketTestHelpers.h"
#include "platform/TcpSocket.h"
#include "sources/SmtpSink.h"

namespace meldrix {
namespace {

using testing::ReadUntil;
using testing::RecordingMailEngine;

CMailMessage SampleMail() {
  CMailMessage mail;
  mail.sender = "anlage@plant.de";
  mail.AddRecipient("ls@x.de");
  mail.AddRecipient("second@x.de");
  mail.subject = "Brand";
  mail.body = "line 1\r\n  line 2  \r\nline 3";
  return mail;
}

TEST(MailLinesTest, SettingsChooseAndShapeTheTexts) {
  using Texts = std::vector<std::string>;
  struct Case {
    bool subject, body, pack, from, to;
    const char* mailBody;  // null for the sample's
    Texts texts;
  } cases[] = {
      {true, true, false, false, false, nullptr, {"Brand", "line 1", "  line 2  ", "line 3"}},
      // A final line end gives no empty text.
      {false, true, false, false, false, "a\r\n\r\nb\r\n", {"a", "", "b"}},
      // The prefixes go with the first text.
      {true, false, false, true, true, nullptr, {"[FROM:anlage@plant.de][TO:ls@x.de]Brand"}},
      {false, true, false, true, false, "x", {"[FROM:anlage@plant.de]x"}},
      {false, true, true, false, false, "line 1\r\n  line 2  \r\nline 3\r\n\r\n", {"line 1   line 2   line 3\r\n"}},
  };
  for (const Case& c : cases) {
    MailServerSettings settings;
    settings.UseSubject = c.subject;
    settings.UseBody = c.body;
    settings.PackBody = c.pack;
    settings.IncMailFrom = c.from;
    settings.IncMailTo = c.to;
    CMailMessage mail = SampleMail();
    if (c.mailBody) mail.body = c.mailBody;
    EXPECT_EQ(CMeldrixSmtpHandler::MailLines(mail, settings), c.texts) << (c.mailBody ? c.mailBody : "sample");
  }
}

// Every line end splits, bare LF too; double quotes are text and stay.
TEST(MailLinesTest, BodyLinesSplitAtEveryLineEndKeepingQuotes) {
  MailServerSettings settings;
  settings.UseSubject = false;
  CMailMessage mail = SampleMail();
  mail.body = "Melder \"Halle 3\"\r\nLeck an 3\" Rohr\r\na \"quoted\r\ntext\"\nlast\r\n";
  EXPECT_EQ(CMeldrixSmtpHandler::MailLines(mail, settings),
            (std::vector<std::string>{"Melder \"Halle 3\"", "Leck an 3\" Rohr", "a \"quoted", "text\"", "last"}));
}

TEST(MailReceivedTest, SetsVariablesAndQueuesOnlyWhileActive) {
  RecordingMailEngine engine;
  CMeldrixSmtpHandler handler(engine, engine, [] { return MailServerSettings{}; });
  CMailMessage mail = SampleMail();
  handler.OnMailReceived(mail);
  EXPECT_EQ(engine.Variable("$MAILFROM"), "anlage@plant.de");
  EXPECT_EQ(engine.Variable("$MAILTO"), "ls@x.de");
  EXPECT_EQ(engine.Variable("$SUBJECT"), "Brand");
  EXPECT_EQ(engine.Lines().size(), 4u);

  CMailMessage noRecipient;
  noRecipient.subject = "x";
  handler.OnMailReceived(noRecipient);
  EXPECT_EQ(engine.Variable("$MAILTO"), "");

  engine.active = false;
  handler.OnMailReceived(mail);
  EXPECT_EQ(engine.Lines().size(), 5u) << ::testing::PrintToString(engine.Lines());
}

class SmtpSinkTest : public ::testing::Test {
 protected:
  void StartSink(SmtpLimits limits = {}) {
    sink_ = std::make_unique<CSmtpSink>(engine_, engine_, [this](const std::string& line) { log_.push_back(line); },
                                        limits);
    MailServerSettings settings;
    settings.SmtpPort = 0;
    ASSERT_TRUE(sink_->Start(settings));
    ASSERT_NE(sink_->Port(), 0);
  }

  RecordingMailEngine engine_;
  std::vector<std::string> log_;
  std::unique_ptr<CSmtpSink> sink_;
};

TEST_F(SmtpSinkTest, MailFromPythonSmtplibArrivesDecoded) {
  StartSink();
  const std::string script = ::testing::TempDir() + "/send_mail.py";
  std::ofstream(script) << R"PY(
import base64, smtplib, sys
subject = base64.b64encode("Brand Halle Süd".encode("utf-8")).decode("ascii")
msg = ("From: Anlage <anlage@plant.example>\r\n"
       "To: Leitstelle <ls@example.org>\r\n"
       "Subject: =?UTF-8?B?" + subject + "?=\r\n"
       "MIME-Version: 1.0\r\n"
       "Content-Type: text/plain; charset=utf-8\r\n"
       "Content-Transfer-Encoding: quoted-printable\r\n"
       "\r\n"
       "Temperatur 80=C2=B0C im Gro=C3=9Fraum =\r\nT=C3=BCr 3\r\n"
       ".5 bar\r\n")
with smtplib.SMTP("127.0.0.1", int(sys.argv[1]), timeout=10) as s:
    s.sendmail("anlage@plant.example", ["ls@example.org"], msg)
)PY";
  const std::string command = "python3 " + script + " " + std::to_string(sink_->Port());
  ASSERT_EQ(std::system(command.c_str()), 0);
  const auto lines = engine_.WaitForLines(3);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Brand Halle S\xFC" "d");
  EXPECT_EQ(lines[1], "Temperatur 80\xB0" "C im Gro\xDFraum T\xFCr 3");
  EXPECT_EQ(lines[2], ".5 bar");
  EXPECT_EQ(engine_.Variable("$MAILFROM"), "anlage@plant.example");
  EXPECT_EQ(engine_.Variable("$MAILTO"), "ls@example.org");
}

TEST_F(SmtpSinkTest, MultipartMailFromPythonEmailPackage) {
  StartSink();
  const std::string script = ::testing::TempDir() + "/send_multipart.py";
  std::ofstream(script) << R"PY(
import smtplib, sys
from email.message import EmailMessage
m = EmailMessage()
m["From"] = "Anlage <anlage@plant.example>"
m["To"] = "Leitstelle <ls@example.org>"
m["Subject"] = "Brandmeldung Halle Süd Erdgeschoss Treppenhaus Nord, Melder 17 ausgelöst bitte sofort prüfen"
m.set_content("Brand in Halle Süd\nTemperatur 80°C\n.5 bar Druck\n")
m.add_alternative("<p>Brand in Halle Süd</p>", subtype="html")
with smtplib.SMTP("127.0.0.1", int(sys.argv[1]), timeout=10) as s:
    s.send_message(m)
)PY";
  const std::string command = "python3 " + script + " " + std::to_string(sink_->Port());
  ASSERT_EQ(std::system(command.c_str()), 0);
  const auto lines = engine_.WaitForLines(4);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0],
            "Brandmeldung Halle S\xFC" "d Erdgeschoss Treppenhaus Nord, Melder 17 ausgel\xF6st bitte sofort "
            "pr\xFC" "fen");
  EXPECT_EQ(lines[1], "Brand in Halle S\xFC" "d");
  EXPECT_EQ(lines[2], "Temperatur 80\xB0" "C");
  EXPECT_EQ(lines[3], ".5 bar Druck");
}

TEST_F(SmtpSinkTest, ParallelClientsLoseNothing) {
  StartSink();
  constexpr int kClients = 20;
  constexpr int kMails = 50;
  std::vector<std::thread> clients;
  std::vector<int> okReplies(kClients, 0);
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      CSocketClient client;
      if (!client.Connect("127.0.0.1", sink_->Port(), 5000)) return;
      std::string script = "EHLO load\r\n";
      for (int m = 0; m < kMails; ++m) {
        const std::string id = std::to_string(c) + "-" + std::to_string(m);
        script += "MAIL From: <c" + std::to_string(c) + "@x>\r\nRCPT To: <r@x>\r\nDATA\r\nSubject: S" + id +
                  "\r\n\r\nB" + id + "\r\n.\r\n";
      }
      script += "QUIT\r\n";
      if (!client.Send(script)) return;  // commands may be pipelined
      const std::string replies = ReadUntil(client, "221 closing\r\n");
      for (std::size_t pos = 0; (pos = replies.find("250 ok.\r\n", pos)) != std::string::npos; ++pos) {
        ++okReplies[c];
      }
    });
  }
  for (auto& t : clients) t.join();
  for (int c = 0; c < kClients; ++c) EXPECT_EQ(okReplies[c], kMails) << "client " << c;

  const auto lines = engine_.WaitForLines(2 * kClients * kMails);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(2 * kClients * kMails));
  std::set<std::string> unique(lines.begin(), lines.end());
  EXPECT_EQ(unique.size(), lines.size());
  // Each mail's subject line comes directly before its body line.
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    ASSERT_EQ(lines[i].substr(0, 1), "S");
    EXPECT_EQ(lines[i + 1], "B" + lines[i].substr(1));
  }
}

// A mail the engine cannot take now is refused with a temporary error, so
// the sender keeps it; the next one on the same connection goes through.
TEST_F(SmtpSinkTest, MailTheQueueCannotTakeIsRefusedTemporarily) {
  StartSink();
  CSocketClient client;
  ASSERT_TRUE(client.Connect("127.0.0.1", sink_->Port(), 2000));
  EXPECT_EQ(ReadUntil(client, "\r\n"), "220 ostravel SMTP message sink\r\n");
  const std::string mail = "MAIL From:<a@b>\r\nRCPT To:<c@d>\r\nDATA\r\nSubject: s\r\n\r\nbody\r\n.\r\n";
  ASSERT_TRUE(client.Send("HELO x\r\n"));
  EXPECT_EQ(ReadUntil(client, "\r\n"), "250 ostravel says hello\r\n");
  engine_.refuse = true;
  ASSERT_TRUE(client.Send(mail));
  const std::string refused = ReadUntil(client, "451 mail queue full, try again later\r\n");
  EXPECT_NE(refused.find("354 send data.\r\n451 mail queue full"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("250 ok."), std::string::npos) << refused;
  EXPECT_TRUE(engine_.Lines().empty());
  engine_.refuse = false;
  ASSERT_TRUE(client.Send(mail));
  const std::string replies = ReadUntil(client, "250 ok.\r\n");
  EXPECT_NE(replies.find("250 ok.\r\n"), std::string::npos) << replies;
  EXPECT_EQ(engine_.Lines(), (std::vector<std::string>{"s", "body"}));
}

TEST_F(SmtpSinkTest, ConnectionBeyondTheLimitGets421) {
  SmtpLimits limits;
  limits.maxConnections = 2;
  StartSink(limits);
  CSocketClient first, second, third;
  ASSERT_TRUE(first.Connect("127.0.0.1", sink_->Port(), 2000));
  EXPECT_EQ(ReadUntil(first, "\r\n"), "220 ostravel SMTP message sink\r\n");
  ASSERT_TRUE(second.Connect("127.0.0.1", sink_->Port(), 2000));
  EXPECT_EQ(ReadUntil(second, "\r\n"), "220 ostravel SMTP message sink\r\n");
  ASSERT_TRUE(third.Connect("127.0.0.1", sink_->Port(), 2000));
  EXPECT_EQ(ReadUntil(third, "\r\n"), "421 too many connections, closing\r\n");
  // Once a connection ends, a new one is served again.
  first.Send("QUIT\r\n");
  EXPECT_EQ(ReadUntil(first, "\r\n"), "221 closing\r\n");
  first.Close();
  std::string greeting;
  for (int attempt = 0; attempt < 50 && greeting.empty(); ++attempt) {
    CSocketClient again;
    ASSERT_TRUE(again.Connect("127.0.0.1", sink_->Port(), 2000));
    const std::string reply = ReadUntil(again, "\r\n");
    if (reply.rfind("220", 0) == 0) greeting = reply;
    again.Close();
  }
  EXPECT_EQ(greeting, "220 ostravel SMTP message sink\r\n");
}

// The limits hold for a whole command line and the whole data phase, so a
// client trickling bytes is closed as surely as a silent one.
TEST_F(SmtpSinkTest, SilentAndTricklingClientsAreClosedAtTheLimit) {
  SmtpLimits limits;
  limits.commandTimeoutMs = 300;
  limits.dataTimeoutMs = 600;
  StartSink(limits);
  struct Case {
    const char* name;
    const char* start;  // sent at once after the greeting
    const char* trickle;  // sent every 50 ms; null for silence
  } cases[] = {
      {"silent", "", nullptr},
      {"one byte at a time", "", "x"},
      {"data lines", "HELO x\r\nMAIL From: a\r\nDATA\r\n", "line\r\n"},
  };
  for (const Case& c : cases) {
    CSocketClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", sink_->Port(), 2000));
    if (*c.start) {
      ASSERT_TRUE(client.Send(c.start));
    }
    std::string replies;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (replies.find("421") == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
      if (c.trickle) client.Send(c.trickle);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::string piece;
      client.Receive(piece);
      replies += piece;
    }
    EXPECT_TRUE(replies.ends_with("421 timeout, closing\r\n")) << c.name << ": " << replies;
  }
}

TEST_F(SmtpSinkTest, PortInUseIsLoggedAndLeavesTheSinkOff) {
  int error = 0;
  TcpSocket taken = TcpListen(0, error);
  ASSERT_TRUE(taken.IsOpen());
  CSmtpSink sink(engine_, engine_, [this](const std::string& line) { log_.push_back(line); });
  MailServerSettings settings;
  settings.SmtpPort = TcpLocalPort(taken);
  EXPECT_FALSE(sink.Start(settings));
  EXPECT_FALSE(sink.IsRunning());
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("cannot be bound"), std::string::npos) << log_[0];
}

TEST_F(SmtpSinkTest, StopEndsOpenConnectionsAlsoOneThatReadsNothing) {
  StartSink();
  CSocketClient idle;
  ASSERT_TRUE(idle.Connect("127.0.0.1", sink_->Port(), 2000));
  EXPECT_EQ(ReadUntil(idle, "\r\n"), "220 ostravel SMTP message sink\r\n");
  // This client sends commands but never reads the replies, until the
  // server's sending blocks.
  CSocketClient deaf;
  ASSERT_TRUE(deaf.Connect("127.0.0.1", sink_->Port(), 2000));
  std::string flood;
  for (int i = 0; i < 20000; ++i) flood += "VRFY " + std::string(200, 'x') + "\r\n";
  std::thread sender([&] { deaf.Send(flood); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto start = std::chrono::steady_clock::now();
  sink_->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  sender.join();
  EXPECT_FALSE(sink_->IsRunning());
  EXPECT_EQ(sink_->ConnectionCount(), 0u);
}

}  // namespace
}  // namespace meldrix
