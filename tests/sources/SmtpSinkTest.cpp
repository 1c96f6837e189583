#include <gtest/gtest.h>

#include "SocketTestHelpers.h"
#include "support/WaitUntil.h"
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
      // Every line end splits, bare LF too; double quotes are text and stay.
      {false, true, false, false, false, "Melder \"Halle 3\"\r\nLeck an 3\" Rohr\r\na \"quoted\r\ntext\"\nlast\r\n",
       {"Melder \"Halle 3\"", "Leck an 3\" Rohr", "a \"quoted", "text\"", "last"}},
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
  // Connects a client and returns the first line the sink answers.
  std::string Connect(CSocketClient& client) {
    return client.Connect("127.0.0.1", sink_->Port(), 2000) ? ReadUntil(client, "\r\n") : "no connection";
  }
  const std::string kGreeting = "220 ostravel SMTP message sink\r\n";

  RecordingMailEngine engine_;
  std::vector<std::string> log_;
  std::unique_ptr<CSmtpSink> sink_;
};

// A mail the engine cannot take now is refused with a temporary error, so
// the sender keeps it; the next one on the same connection goes through.
TEST_F(SmtpSinkTest, MailTheQueueCannotTakeIsRefusedTemporarily) {
  StartSink();
  CSocketClient client;
  EXPECT_EQ(Connect(client), kGreeting);
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
  EXPECT_TRUE(ReadUntil(client, "250 ok.\r\n").ends_with("250 ok.\r\n"));
  EXPECT_EQ(engine_.Lines(), (std::vector<std::string>{"s", "body"}));
}

TEST_F(SmtpSinkTest, ConnectionBeyondTheLimitGets421) {
  SmtpLimits limits;
  limits.maxConnections = 2;
  StartSink(limits);
  CSocketClient first, second, third;
  EXPECT_EQ(Connect(first), kGreeting);
  EXPECT_EQ(Connect(second), kGreeting);
  EXPECT_EQ(Connect(third), "421 too many connections, closing\r\n");
  // Once a connection ends, a new one is served again.
  first.Send("QUIT\r\n");
  EXPECT_EQ(ReadUntil(first, "\r\n"), "221 closing\r\n");
  first.Close();
  EXPECT_TRUE(testing::WaitUntil([&] {
    CSocketClient again;
    return Connect(again) == kGreeting;
  }));
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
  EXPECT_EQ(Connect(idle), kGreeting);
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
