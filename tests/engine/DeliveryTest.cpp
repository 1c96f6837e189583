#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/EngineTestSupport.h"
#include "engine/Process.h"
#include "platform/Timer.h"
#include "support/Files.h"
#include "support/TempFolder.h"

namespace meldrix {
namespace {

using enginetest::EngineFixture;
using Commands = std::vector<std::string>;

class DeliveryTest : public ::testing::Test {
 protected:
  DeliveryTest() {
    f.doc->m_ShowSentMessages = 0;
    f.doc->SetProcessingActive(true);
  }
  void Activate() {
    f.doc->ConfigureAssembly();
    f.doc->SetProcessingActive(true);
  }
  ScopedFakeClock clock;
  EngineFixture f{"[Settings]\nEndOfMessage=\\r\\n\n"};
};

TEST_F(DeliveryTest, FedBytesReachKorvaneInOrderAndAreCounted) {
  CInPort& port = f.AddSource("COM1");
  f.AddMessage("FIRE", "0815", "{{$INPORT}}: {{$MESSAGE}}");
  Activate();
  for (char c : std::string("FIRE 1\r\nSMOKE\r\nFIRE 2\r\nFIRE")) port.AddChar(c);
  f.doc->DeliverMessages();
  EXPECT_EQ(f.korvane->commands,
            (Commands{"[send(*|0815|COM1: FIRE 1|||||)]", "[send(*|0815|COM1: FIRE 2|||||)]"}));
  EXPECT_EQ(f.doc->m_TotalMessages, 3u);
  EXPECT_EQ(f.doc->m_SentMessages, 2u);
  EXPECT_EQ(f.doc->m_TotalErrors, 0u);
  EXPECT_EQ(port.m_Assembly.Line(), "FIRE");
  // Nothing happens while inactive; what came is kept for the next activation.
  // Mail lines come from the source "Mail".
  f.korvane->commands.clear();
  f.doc->SetProcessingActive(false);
  for (char c : std::string(" 3\r\n")) port.AddChar(c);
  f.doc->GetMailLineQueue().Append("FIRE M");
  f.doc->DeliverMessages();
  EXPECT_TRUE(f.korvane->commands.empty());
  f.doc->SetProcessingActive(true);
  f.doc->DeliverMessages();
  EXPECT_EQ(f.korvane->commands,
            (Commands{"[send(*|0815|Mail: FIRE M|||||)]", "[send(*|0815|COM1: FIRE 3|||||)]"}));
}

TEST_F(DeliveryTest, PollHookFeedsEverySourceInListOrder) {
  f.AddSource("First");
  f.AddSource("Second");
  f.AddMessage("", "1");
  Activate();
  std::vector<std::string> polled;
  f.doc->SetSourcePoll([&](CInPort& port) {
    polled.push_back(port.m_Name);
    for (char c : port.m_Name + "\r\n") port.AddChar(c);
  });
  f.doc->DeliverMessages();
  EXPECT_EQ(polled, (std::vector<std::string>{"First", "Second"}));
  EXPECT_EQ(f.korvane->commands,
            (Commands{"[send(*|1|First|||||)]", "[send(*|1|Second|||||)]"}));
}

TEST_F(DeliveryTest, DeactivationDuringAPassKeepsTheRest) {
  CInPort& port = f.AddSource("COM1");
  f.AddMessage("", "1");
  Activate();
  for (char c : std::string("A\r\nB\r\n")) port.AddChar(c);
  // A Korvane that makes the engine stop after the first text.
  struct Stopping : IKorvane {
    CMeldrixDoc* doc;
    KorvaneResult Execute(std::string_view) override {
      doc->SetProcessingActive(false);
      return {KORVANE_S_OK, "1"};
    }
  };
  auto stopping = std::make_shared<Stopping>();
  stopping->doc = f.doc.get();
  f.doc->SetKorvane(stopping);
  f.doc->DeliverMessages();
  EXPECT_EQ(f.doc->m_TotalMessages, 1u);
  EXPECT_EQ(port.m_Assembly.CompletedCount(), 1u);
}

// File sources with a backlog, read through their real poll: a pass drains
// what waits, at most kMaxMessagesPerPoll from one source before the next.
class DrainTest : public DeliveryTest {
 protected:
  CInPort& AddFileSource(const std::string& name, int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) text += name + " " + std::to_string(i) + "\r\n";
    testing::WriteFile(folder.Path() + "/" + name, text);
    CInPort& port = f.AddSource(name, CInPort::kTextFile);
    port.m_File = folder.Path() + "/" + name;
    return port;
  }
  void Open() {
    Activate();
    f.doc->SetSourcePoll([this](CInPort& port) {
      port.Poll(f.doc->m_OutPorts, services, [&port](char c) { return port.AddChar(c); });
    });
    for (auto& port : f.doc->m_InPorts) ASSERT_TRUE(port->Open(services));
    clock->Advance(100);  // the first look of an opened source
  }
  // The texts sent, as "A 0", and the source of each in sending order.
  std::vector<std::string> Sent() const {
    std::vector<std::string> texts;
    for (const std::string& command : f.korvane->commands)
      texts.push_back(command.substr(10, command.find('|', 10) - 10));
    return texts;
  }
  static std::vector<std::string> Expected(const std::string& name, int from, int to) {
    std::vector<std::string> texts;
    for (int i = from; i < to; ++i) texts.push_back(name + " " + std::to_string(i));
    return texts;
  }
  testing::TempFolder folder;
  OutPortServices services;
};

TEST_F(DrainTest, OnePassDrainsEverySourceInTurns) {
  AddFileSource("A", 250);
  AddFileSource("B", 120);
  f.AddMessage("", "1");
  Open();
  EXPECT_FALSE(f.doc->DeliverMessages(std::chrono::seconds(60)));
  std::vector<std::string> expected;
  for (auto part : {Expected("A", 0, 100), Expected("B", 0, 100), Expected("A", 100, 200),
                    Expected("B", 100, 120), Expected("A", 200, 250)})
    expected.insert(expected.end(), part.begin(), part.end());
  EXPECT_EQ(Sent(), expected);
  EXPECT_EQ(f.doc->m_SentMessages, 370u);
}

TEST_F(DrainTest, ABudgetUsedUpLeavesTheRestInOrderAndNoSourceStarves) {
  AddFileSource("A", 150);
  AddFileSource("B", 150);
  f.AddMessage("", "1");
  Open();
  struct SlowKorvane : enginetest::FakeKorvane {
    KorvaneResult Execute(std::string_view command) override {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return FakeKorvane::Execute(command);
    }
  };
  auto slow = std::make_shared<SlowKorvane>();
  f.korvane = slow;
  f.doc->SetKorvane(slow);
  int passes = 0;
  std::vector<std::size_t> sentAfterPass;
  while (passes < 1000 && f.doc->DeliverMessages(std::chrono::milliseconds(20))) {
    ++passes;
    sentAfterPass.push_back(f.korvane->commands.size());
  }
  ASSERT_GT(passes, 1);
  EXPECT_LT(sentAfterPass.front(), 300u);
  // Each source in its own order, nothing lost or sent twice.
  std::vector<std::string> a, b;
  for (const std::string& text : Sent()) (text[0] == 'A' ? a : b).push_back(text);
  EXPECT_EQ(a, Expected("A", 0, 150));
  EXPECT_EQ(b, Expected("B", 0, 150));
  // The second source had its turn before the first was empty.
  const std::vector<std::string> sent = Sent();
  EXPECT_LT(std::find(sent.begin(), sent.end(), "B 0"), std::find(sent.begin(), sent.end(), "A 149"));
}

TEST_F(DeliveryTest, LeadingSpacesAndCharsetPerSourceKind) {
  f.doc->m_RemoveLeadingSpaces = 1;
  f.doc->m_UsedCharset = 2;
  CInPort& serial = f.AddSource("COM1");
  CInPort& mail = f.AddSource("POP3", CInPort::kMail);
  f.AddMessage("", "1");
  Activate();
  for (char c : std::string("  Stra}e {\r\n")) serial.AddChar(c);
  for (char c : std::string("  Stra}e\r\n")) mail.AddChar(c);
  f.doc->GetMailLineQueue().Append(" \tSMTP }");
  f.doc->DeliverMessages();
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|1|SMTP }|||||)]",
                                           "[send(*|1|Stra\xFC" "e \xE4|||||)]",
                                           "[send(*|1|Stra}e|||||)]"}));
}

TEST_F(DeliveryTest, HeldMultiLineMessageAndSilentLineLeaveWhenTheirTimersRunOut) {
  f.doc->m_MoreLineMessages = 1;
  f.doc->m_UseLineTimeout = 1;
  f.doc->m_LineTimeout = 300;
  f.doc->m_EndOfMessage = "\\n";
  CInPort& port = f.AddSource("COM1");
  f.AddMessage("", "1");
  Activate();
  for (char c : std::string("ALARM\n line 2\nNO END")) port.AddChar(c);
  f.doc->DeliverMessages();
  EXPECT_TRUE(f.korvane->commands.empty());
  clock->Advance(300);  // the line timer completes "NO END", which ends the held message
  f.doc->DeliverMessages();
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|1|ALARM line 2|||||)]"}));
  clock->Advance(1000);
  f.doc->DeliverMessages();
  EXPECT_EQ(f.korvane->commands.back(), "[send(*|1|NO END|||||)]");
}

TEST_F(DeliveryTest, NothingHeldIsLostAtDeactivation) {
  f.doc->m_MoreLineMessages = 1;
  f.doc->m_EndOfMessage = "\\n";
  CInPort& port = f.AddSource("COM1");
  f.AddMessage("P", "1").m_PackMessages = 1;
  f.AddMessage("", "2");
  Activate();
  for (char c : std::string("P1\nHELD\n")) port.AddChar(c);
  f.doc->DeliverMessages();  // P1 packed, HELD waits for continuation lines
  EXPECT_TRUE(f.korvane->commands.empty());
  f.doc->DeliverBeforeDeactivation();
  // The unpacked text to other receivers sends the packed one first.
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|1|P1|||||)]", "[send(*|2|HELD|||||)]"}));
  EXPECT_EQ(f.doc->m_TotalMessages, 2u);
}

TEST_F(DeliveryTest, AssemblySettingsComeFromTheConfiguration) {
  EngineFixture g(
      "[Settings]\nEndOfMessage=\\x03\nCtrlReplaceChar=#\nMoreLineMessages=1\n"
      "MultilineTimeout=2500\nUseLineTimeout=0\nLineTimeout=50\nMaxMessageLength=40\n"
      "FilterEscapes=1\nReplaceControlChars=1\n");
  const AssemblySettings s = g.doc->GetAssemblySettings();
  EXPECT_EQ(s.endOfMessage, "\x03");
  EXPECT_EQ(s.ctrlReplaceChar, '#');
  EXPECT_TRUE(s.moreLineMessages && s.filterEscapes && s.replaceControlChars);
  EXPECT_EQ(s.multilineTimeoutMs, 2500u);
  EXPECT_EQ(s.lineTimeoutMs, 0u);  // UseLineTimeout off
  EXPECT_EQ(s.maxMessageLength, 40);
  g.doc->m_UseLineTimeout = 1;
  EXPECT_EQ(g.doc->GetAssemblySettings().lineTimeoutMs, 50u);
  g.doc->m_LineTimeout = -5;
  EXPECT_EQ(g.doc->GetAssemblySettings().lineTimeoutMs, 0u);
}

TEST(EngineLog, LongLinesWrapAndAReloadClearsTheLog) {
  EngineFixture f;
  f.doc->Process(f.AddSource("COM1"), std::string(140, 'x'));
  ASSERT_EQ(f.Log().size(), 2u);  // wrapped, no empty line after the wrap
  f.doc->LoadConfiguration();
  EXPECT_TRUE(f.Log().empty());
}

TEST(Overview, SourcesWithTheirOutputs) {
  EngineFixture f;
  f.AddSource("COM1").m_OutId = 2;
  f.AddSource("Files").m_OutId = 9;
  COutPort& out = f.doc->m_OutPorts.AddNew();
  out.m_Id = 2;
  out.m_Name = "Printer";
  const std::string text = f.doc->GetOverviewText(
      [](const CInPort& p) { return p.m_Name + "=src"; },
      [](const COutPort& o) { return o.m_Name + "=out"; });
  EXPECT_EQ(text, "COM1=src\r\n    --> Printer=out\r\n\r\nFiles=src\r\n    --> <none>\r\n\r\n");
}

}  // namespace
}  // namespace meldrix
