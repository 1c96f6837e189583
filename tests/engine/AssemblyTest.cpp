#include "engine/Assembly.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/Timer.h"

namespace meldrix {
namespace {

using Texts = std::vector<std::string>;

class AssemblyTest : public ::testing::Test {
 protected:
  void Configure(const std::string& endOfMessage = "\\n") {
    settings.endOfMessage = PrepareEndOfMessage(endOfMessage);
    assembly.Configure(settings);
  }
  Texts Feed(std::string_view bytes) {
    assembly.AddChars(bytes);
    return Take();
  }
  Texts Take() {
    std::deque<std::string> taken = assembly.TakeCompleted();
    return Texts(taken.begin(), taken.end());
  }

  ScopedFakeClock clock;
  AssemblySettings settings;
  CMessageAssembly assembly;
};

TEST(PrepareEndOfMessage, EscapeNotation) {
  EXPECT_EQ(PrepareEndOfMessage("\\n"), "\n");
  EXPECT_EQ(PrepareEndOfMessage("\\r\\n"), "\r\n");
  EXPECT_EQ(PrepareEndOfMessage("\\t\\f"), "\t\f");
  EXPECT_EQ(PrepareEndOfMessage("END\\\\"), "END\\");
  EXPECT_EQ(PrepareEndOfMessage("\\x03"), "\x03");
  EXPECT_EQ(PrepareEndOfMessage("\\x0D\\x0a"), "\r\n");
  EXPECT_EQ(PrepareEndOfMessage("#\\x5Cx41"), "#\\x41");  // a produced backslash starts nothing
}

TEST(PrepareEndOfMessage, IncompleteHexStaysAsItIs) {
  EXPECT_EQ(PrepareEndOfMessage("\\x4"), "\\x4");
  EXPECT_EQ(PrepareEndOfMessage("\\x41\\x"), "A\\x");
  EXPECT_EQ(PrepareEndOfMessage("\\xZZ"), "\\xZZ");
}

TEST_F(AssemblyTest, LineFeedEndsMessages) {
  Configure();
  EXPECT_TRUE(assembly.AddChar('A') == false);
  EXPECT_EQ(Feed("B\nCD\n"), (Texts{"AB", "CD"}));
  EXPECT_EQ(Feed("EF"), Texts{});
  EXPECT_EQ(assembly.Line(), "EF");
}

TEST_F(AssemblyTest, CrLfSequence) {
  Configure("\\r\\n");
  EXPECT_EQ(Feed("AB\r\nCD\r\n"), (Texts{"AB", "CD"}));
  // A lone CR or LF inside the message stays as one CR LF.
  EXPECT_EQ(Feed("A\nB\rC\r\n"), (Texts{"A\r\nB\r\nC"}));
}

TEST_F(AssemblyTest, BreaksInsideAMessageBecomeOneCrLf) {
  Configure();
  EXPECT_EQ(Feed("A\rB\n"), (Texts{"A\r\nB"}));
  EXPECT_EQ(Feed("A\r\r\rB\n"), (Texts{"A\r\nB"}));
  EXPECT_EQ(Feed("AB\r\n"), (Texts{"AB"}));  // trailing white space goes
  EXPECT_EQ(Feed("\n\r\n\n"), Texts{});       // empty lines are no messages
}

TEST_F(AssemblyTest, ControlBytesAreReplaced) {
  Configure();
  EXPECT_EQ(Feed("A\x07" "B\tC\n"), (Texts{"A~B~C"}));
  settings.ctrlReplaceChar = '#';
  Configure();
  EXPECT_EQ(Feed("A\x07" "B\n"), (Texts{"A#B"}));
  // Bytes from 128 up are text.
  EXPECT_EQ(Feed("Gr\xFC\xDF" "e\n"), (Texts{"Gr\xFC\xDF" "e"}));
}

TEST_F(AssemblyTest, ControlByteAsEndOfMessageIsCutWithItsReplacement) {
  Configure("\\x03");
  EXPECT_EQ(Feed("\x02" "ALARM 1\x03\x02" "ALARM 2\x03"), (Texts{"~ALARM 1", "~ALARM 2"}));
}

TEST_F(AssemblyTest, ReplaceControlCharsBeforeEndDetection) {
  settings.replaceControlChars = true;
  Configure("~");
  // The BEL is seen as "~" and ends the message; so does a real "~".
  EXPECT_EQ(Feed("A\x07" "B~"), (Texts{"A", "B"}));
  settings.replaceControlChars = false;
  Configure("~");
  EXPECT_EQ(Feed("A\x07" "B~"), (Texts{"A~B"}));
}

TEST_F(AssemblyTest, MultiCharacterSequence) {
  Configure("END");
  EXPECT_EQ(Feed("FIRE HALL 2 ENDSMOKE END"), (Texts{"FIRE HALL 2", "SMOKE"}));
  EXPECT_EQ(Feed("ENEND"), (Texts{"EN"}));
}

TEST_F(AssemblyTest, MaxMessageLengthCutsTheLine) {
  settings.maxMessageLength = 5;
  Configure();
  std::vector<bool> completed;
  for (char c : std::string("ABCDEFGH\n")) completed.push_back(assembly.AddChar(c));
  EXPECT_EQ(completed, (std::vector<bool>{false, false, false, false, false, true, false, false,
                                          true}));
  EXPECT_EQ(Take(), (Texts{"ABCDEF", "GH"}));
}

TEST_F(AssemblyTest, EmptyEndOfMessageCutsOnlyByLength) {
  settings.maxMessageLength = 3;
  Configure("");
  EXPECT_EQ(Feed("AB\nC"), (Texts{"AB\r\nC"}));
}

TEST_F(AssemblyTest, EscapeFilter) {
  settings.filterEscapes = true;
  Configure();
  EXPECT_EQ(Feed("A\x1B[B\n"), (Texts{"AB"}));
  EXPECT_EQ(Feed("X\x1B\n"), (Texts{"X"}));  // an escape at the end goes alone
  settings.filterEscapes = false;
  Configure();
  EXPECT_EQ(Feed("A\x1B[B\n"), (Texts{"A~[B"}));
}

TEST_F(AssemblyTest, Utf8RepairOfSingleLines) {
  Configure();
  EXPECT_EQ(Feed("Tempo \xC3\xA4 \xC3\x9F \xC2\xB0" "C \xC2\xB1 \xC2\xB5\n"),
            (Texts{"Tempo \xE4 \xDF \xB0" "C \xB1 \xB5"}));
  // Other UTF-8 stays as it is.
  EXPECT_EQ(Feed("\xE2\x82\xAC\n"), (Texts{"\xE2\x82\xAC"}));
}

TEST_F(AssemblyTest, ContinuationLinesJoin) {
  settings.moreLineMessages = true;
  Configure();
  EXPECT_EQ(Feed("ALARM\n line 2\n"), Texts{});
  EXPECT_EQ(assembly.HeldMessage(), "ALARM line 2");
  EXPECT_EQ(Feed("NEXT\n"), (Texts{"ALARM line 2"}));
  EXPECT_EQ(assembly.HeldMessage(), "NEXT");
  assembly.FinishPoll();
  EXPECT_EQ(Take(), Texts{});  // its timer is still running
  clock->Advance(999);
  assembly.FinishPoll();
  EXPECT_EQ(Take(), Texts{});
  clock->Advance(1);
  assembly.FinishPoll();
  EXPECT_EQ(Take(), (Texts{"NEXT"}));
  EXPECT_EQ(assembly.MultilineTimer(), 0u);
}

TEST_F(AssemblyTest, ContinuationRestartsTheTimer) {
  settings.moreLineMessages = true;
  settings.multilineTimeoutMs = 1000;
  Configure();
  Feed("A\n");
  clock->Advance(800);
  Feed("  B\n");
  clock->Advance(800);
  assembly.FinishPoll();
  EXPECT_EQ(Take(), Texts{});
  Feed("  C  \n");
  clock->Advance(1000);
  assembly.FinishPoll();
  EXPECT_EQ(Take(), (Texts{"A B C"}));
}

TEST_F(AssemblyTest, LateContinuationStartsANewMessage) {
  settings.moreLineMessages = true;
  Configure();
  Feed("A\n");
  clock->Advance(1500);  // nobody checked in between
  EXPECT_EQ(Feed(" B\n"), (Texts{"A"}));
  EXPECT_EQ(assembly.HeldMessage(), " B");  // leading blanks go only at delivery
}

TEST_F(AssemblyTest, EmptyLineHandsOverTheHeldMessage) {
  settings.moreLineMessages = true;
  Configure();
  Feed("A\n B\n");
  EXPECT_EQ(Feed("\n"), (Texts{"A B"}));
}

TEST_F(AssemblyTest, HeldMessageIsNotUtf8Repaired) {
  settings.moreLineMessages = true;
  Configure();
  Feed("\xC3\xA4\n");
  clock->Advance(1000);
  assembly.FinishPoll();
  EXPECT_EQ(Take(), (Texts{"\xC3\xA4"}));
}

TEST_F(AssemblyTest, LineTimeoutEndsASilentLine) {
  settings.lineTimeoutMs = 200;
  Configure();
  Feed("PARTIAL");
  clock->Advance(199);
  assembly.FinishPoll();
  EXPECT_EQ(Take(), Texts{});
  assembly.AddChar('!');  // restarts the timer
  clock->Advance(199);
  assembly.FinishPoll();
  EXPECT_EQ(Take(), Texts{});
  clock->Advance(1);
  assembly.FinishPoll();
  EXPECT_EQ(Take(), (Texts{"PARTIAL!"}));
  EXPECT_EQ(assembly.LineTimer(), 0u);
  EXPECT_EQ(assembly.Line(), "");
}

TEST_F(AssemblyTest, WithoutLineTimeoutALineWaits) {
  Configure();
  Feed("PARTIAL");
  clock->Advance(100000);
  assembly.FinishPoll();
  EXPECT_EQ(Take(), Texts{});
  EXPECT_EQ(assembly.LineTimer(), 0u);
}

TEST_F(AssemblyTest, ProtocolDecoderFillsTheLine) {
  Configure();
  assembly.Line() = "Tuer 12 offen";
  assembly.CompleteLine();
  EXPECT_EQ(Take(), (Texts{"Tuer 12 offen"}));
}

TEST_F(AssemblyTest, ConfigureKeepsReceivedText) {
  Configure();
  Feed("AB");
  settings.maxMessageLength = 100;
  Configure();
  EXPECT_EQ(Feed("C\n"), (Texts{"ABC"}));
  Feed("XY");
  assembly.Reset();
  EXPECT_EQ(Feed("Z\n"), (Texts{"Z"}));
}

TEST_F(AssemblyTest, HugeMaxMessageLengthIsStillBounded) {
  settings.maxMessageLength = 1L << 40;
  Configure();
  std::string flood(kMaxAssemblyLength + 1, 'x');
  EXPECT_EQ(Feed(flood).size(), 1u);
}

}  // namespace
}  // namespace meldrix
