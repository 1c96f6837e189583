#include <gtest/gtest.h>

#include "engine/EngineTestSupport.h"
#include "engine/Process.h"
#include "platform/Timer.h"
#include "util/StringTable.h"

namespace meldrix {
namespace {

using enginetest::EngineFixture;
using enginetest::LogLine;
using Commands = std::vector<std::string>;

constexpr std::uint32_t kGreen = 0x008000, kBlue = 0xFF0000, kRed = 0x0000FF;

TEST(Process, FirstMatchStopsUnlessContinueCheckingAndInactiveMessagesAreSkipped) {
  EngineFixture f;
  CInPort& port = f.AddSource("COM");
  f.AddMessage("", "0").m_Active = 0;
  CMessage& first = f.AddMessage("FIRE", "0815");
  CMessage& last = f.AddMessage("", "4711");
  EXPECT_TRUE(f.doc->Process(port, "FIRE hall 2"));
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|0815|FIRE hall 2|||||)]"}));
  first.m_ContinueChecking = 1;
  f.korvane->commands.clear();
  f.doc->Clear();
  // The last message also has ContinueChecking 0 but is the last: the loop
  // stops there with true.
  EXPECT_TRUE(f.doc->Process(port, "FIRE hall 3"));
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|0815|FIRE hall 3|||||)]",
                                           "[send(*|4711|FIRE hall 3|||||)]"}));
  // Incoming text once in green, each send in red.
  EXPECT_EQ(f.Log(), (std::vector<LogLine>{{"FIRE hall 3", kGreen},
                                           {"Message to 0815: FIRE hall 3", kRed},
                                           {"Message to 4711: FIRE hall 3", kRed}}));
  // When every matching message goes on checking, the text counts as unmatched but is not shown twice.
  last.m_ContinueChecking = 1;
  f.korvane->commands.clear();
  f.doc->Clear();
  EXPECT_FALSE(f.doc->Process(port, "X"));
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|4711|X|||||)]"}));
  EXPECT_EQ(f.Log(), (std::vector<LogLine>{{"X", kGreen}, {"Message to 4711: X", kRed}}));
}

TEST(Process, UnmatchedOrWithoutReceiversIsOnlyShownAndBarsBecomeExclamationMarks) {
  EngineFixture f;
  CInPort& port = f.AddSource("COM");
  f.AddMessage("INFO", "");
  f.AddMessage("A", "1");
  f.AddMessage("X", "2", "Alarm|Halle");
  EXPECT_FALSE(f.doc->Process(port, "SMOKE 1"));
  EXPECT_TRUE(f.doc->Process(port, "INFO only"));
  EXPECT_TRUE(f.korvane->commands.empty());
  f.doc->m_ShowInMessages = 0;
  EXPECT_FALSE(f.doc->Process(port, "SMOKE 2"));
  EXPECT_EQ(f.Log(), (std::vector<LogLine>{{"SMOKE 1", 0}, {"INFO only", kBlue}}));
  f.doc->Process(port, "A|B");
  f.doc->Process(port, "X");
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|1|A!B|||||)]", "[send(*|2|Alarm!Halle|||||)]"}));
}

TEST(Send, ReceiversAreTrimmedAndChooseTheCommand) {
  EngineFixture f;
  for (const char* receivers : {" 0815 ", "G:12", "\t0815\r\n"}) EXPECT_TRUE(f.doc->Send("", receivers, "text"));
  EXPECT_EQ(f.korvane->commands,
            (Commands{"[send(*|0815|text|||||)]", "[send(S|G:12|text|||||)]",
                      "[send(*|0815|text|||||)]"}));
  EXPECT_EQ(f.Log().front(), (LogLine{"Message to 0815: text", kRed}));
  f.doc->Clear();
  f.doc->m_ShowSentMessages = 0;
  EXPECT_TRUE(f.doc->Send("", "1", "text"));
  EXPECT_TRUE(f.Log().empty());
}

TEST(Send, RepliesThatAreNotAcceptedCountAsErrors) {
  EngineFixture f;
  f.korvane->replies = {{KORVANE_S_OK, "0"},
                        {KORVANE_S_OK, ""},
                        {KORVANE_E_SERVER_UNAVAILABLE, ""},
                        {KORVANE_S_OK, std::string(32, 'x')},
                        {KORVANE_S_OK, "17"}};
  for (const char* text : {"a", "b", "c"}) EXPECT_FALSE(f.doc->Send("", "1", text)) << text;
  for (const char* text : {"d", "e"}) EXPECT_TRUE(f.doc->Send("", "1", text)) << text;
  EXPECT_EQ(f.doc->m_TotalErrors, 3u);
  const auto log = f.Log();
  ASSERT_EQ(log.size(), 8u);
  const std::uint32_t inverted = kRed | CStreamDoc::kInverted;
  EXPECT_EQ(log[1],
            (LogLine{"ERROR(00000000): The message could not be sent to Korvane !", inverted}));
  EXPECT_EQ(log[5],
            (LogLine{"ERROR(800706BA): The message could not be sent to Korvane !", inverted}));
  // In German too.
  f.korvane->replies = {{KORVANE_S_OK, "0"}};
  SetUiLanguage(0);
  f.doc->Send("", "1", "f");
  SetUiLanguage(1);
  EXPECT_EQ(f.Log()[8].text, "Nachricht an 1: f");
  EXPECT_EQ(f.Log()[9].text.rfind("FEHLER(00000000): ", 0), 0u);
}

TEST(Process, FailedSendLetsTheNextMessageTry) {
  EngineFixture f;
  CInPort& port = f.AddSource("COM");
  f.AddMessage("", "1");  // ContinueChecking 0
  f.AddMessage("", "2");
  f.korvane->replies = {{KORVANE_E_TIMEOUT, ""}};
  // The failure flag stays for the call: the second message cannot stop it.
  EXPECT_FALSE(f.doc->Process(port, "X"));
  EXPECT_EQ(f.korvane->commands,
            (Commands{"[send(*|1|X|||||)]", "[send(*|2|X|||||)]"}));
  EXPECT_EQ(f.doc->m_TotalErrors, 1u);
}

TEST(Process, Variables) {
  EngineFixture f;
  CInPort& port = f.AddSource("Door COM2");
  IVariableStore& store = f.doc->GetVariables();
  store.SetVariable("$MSGFIELDX", "old");
  store.SetVariable("KEPT", "1");
  f.doc->Process(port, "a;\"b;c\";d");
  EXPECT_EQ(store.GetVariable("$INPORT"), "Door COM2");
  EXPECT_EQ(store.GetVariable("$MESSAGE"), "a;\"b;c\";d");
  for (const auto& [name, value] : std::initializer_list<std::pair<const char*, const char*>>{
           {"$MSGFIELD[1]", "a"}, {"$MSGFIELD[2]", "b;c"}, {"$MSGFIELD[3]", "d"}})
    EXPECT_EQ(store.GetVariable(name), value) << name;
  EXPECT_EQ(store.GetVariable("$MSGFIELDX"), std::nullopt);
  f.doc->Process(port, "x");
  EXPECT_EQ(store.GetVariable("$MESSAGE"), "x");
  EXPECT_EQ(store.GetVariable("$MSGFIELD[1]"), std::nullopt);
  EXPECT_EQ(store.GetVariable("KEPT"), "1");
  // Process publishes only these three kinds of names.
  EXPECT_EQ(f.doc->GetDataValues().Count(), 3u);
}

// The rules of packing are CMessagePacker's; here how Process and the
// delivery step use it.
class PackingTest : public ::testing::Test {
 protected:
  PackingTest() {
    f.doc->m_ShowSentMessages = 0;
    f.doc->SetProcessingActive(true);
    f.AddMessage("P", "0815").m_PackMessages = 1;
    f.AddMessage("N", "4711");
  }
  ScopedFakeClock clock;
  EngineFixture f;
  CInPort& port = f.AddSource("COM");
};

TEST_F(PackingTest, EachSourcePacksItsOwnTextsUntilTheTimerOrAnotherText) {
  CInPort& second = f.AddSource("COM2");
  f.doc->Process(port, "P1");
  EXPECT_TRUE(f.doc->Process(port, "P2"));
  f.doc->Process(second, "P3");
  EXPECT_TRUE(f.korvane->commands.empty());
  EXPECT_EQ(port.m_Packer.Text(), "P1 P2");
  clock->Advance(9999);
  f.doc->DeliverMessages();
  f.korvane->replies = {{KORVANE_S_OK, "0"}};  // a failed send is counted
  f.doc->Process(second, "N1");
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|0815|P3|||||)]", "[send(*|4711|N1|||||)]"}));
  EXPECT_EQ(f.doc->m_TotalErrors, 1u);
  clock->Advance(1);
  f.doc->DeliverMessages();
  EXPECT_EQ(f.korvane->commands.back(), "[send(*|0815|P1 P2|||||)]");
  EXPECT_FALSE(port.m_Packer.HasPackedMessage() || second.m_Packer.HasPackedMessage());
}

TEST_F(PackingTest, InternalSourcesSendTheirPendingTextWhenTheyEnd) {
  EXPECT_TRUE(f.doc->ProcessInternal("DDE", CInPort::kDde, "P1"));
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|0815|P1|||||)]"}));
  f.doc->SetProcessingActive(false);
  EXPECT_FALSE(f.doc->ProcessInternal("ISDN", CInPort::kIsdn, "P2"));
  EXPECT_EQ(f.korvane->commands.size(), 1u);
  f.doc->SetProcessingActive(true);
  f.doc->GetMailLineQueue().AppendAll({"P1", "P2"});
  f.doc->DeliverMessages();
  EXPECT_EQ(f.korvane->commands.back(), "[send(*|0815|P1 P2|||||)]");
  EXPECT_EQ(f.doc->m_TotalMessages, 2u);
  EXPECT_EQ(f.doc->m_SentMessages, 2u);
}

}  // namespace
}  // namespace meldrix
