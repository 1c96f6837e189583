#include "engine/Assembly.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
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
  // The timers' check at the end of a poll, and what it completed.
  Texts Poll(std::uint32_t afterMs = 0) {
    clock->Advance(afterMs);
    assembly.FinishPoll();
    return Take();
  }
  ScopedFakeClock clock;
  AssemblySettings settings;
  CMessageAssembly assembly;
};

TEST(PrepareEndOfMessage, EscapeNotation) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\n", "\n"}, {"\\r\\n", "\r\n"}, {"\\t\\f", "\t\f"}, {"END\\\\", "END\\"},
      {"\\x03", "\x03"}, {"\\x0D\\x0a", "\r\n"},
      {"#\\x5Cx41", "#\\x41"},  // a produced backslash starts nothing
      // Incomplete hex stays as it is.
      {"\\x4", "\\x4"}, {"\\x41\\x", "A\\x"}, {"\\xZZ", "\\xZZ"}};
  for (const auto& [setting, bytes] : cases) EXPECT_EQ(PrepareEndOfMessage(setting), bytes) << setting;
}

// One configuration, the bytes of one poll, the messages they complete.
struct CutCase {
  const char* endOfMessage;
  std::function<void(AssemblySettings&)> tweak;
  std::string bytes;
  Texts messages;
};

TEST_F(AssemblyTest, EndOfMessageControlBytesAndRepairs) {
  const auto replace = [](bool on) { return [on](AssemblySettings& s) { s.replaceControlChars = on; }; };
  const auto escapes = [](bool on) { return [on](AssemblySettings& s) { s.filterEscapes = on; }; };
  const CutCase cases[] = {
      {"\\n", {}, "AB\nCD\nEF", {"AB", "CD"}},
      {"\\r\\n", {}, "AB\r\nCD\r\n", {"AB", "CD"}},
      // Breaks inside a message become one CR LF, trailing white space goes,
      // empty lines are no messages.
      {"\\r\\n", {}, "A\nB\rC\r\n", {"A\r\nB\r\nC"}},
      {"\\n", {}, "A\rB\nA\r\r\rB\nAB\r\n\n\r\n\n", {"A\r\nB", "A\r\nB", "AB"}},
      // Control bytes are replaced; bytes from 128 up are text.
      {"\\n", {}, "A\x07" "B\tC\nGr\xFC\xDF" "e\n", {"A~B~C", "Gr\xFC\xDF" "e"}},
      {"\\n", [](AssemblySettings& s) { s.ctrlReplaceChar = '#'; }, "A\x07" "B\n", {"A#B"}},
      {"\\x03", {}, "\x02" "ALARM 1\x03\x02" "ALARM 2\x03", {"~ALARM 1", "~ALARM 2"}},
      // Replaced before the end is looked for: the BEL ends the message too.
      {"~", replace(true), "A\x07" "B~", {"A", "B"}},
      {"~", replace(false), "A\x07" "B~", {"A~B"}},
      {"END", {}, "FIRE HALL 2 ENDSMOKE ENDENEND", {"FIRE HALL 2", "SMOKE", "EN"}},
      {"", [](AssemblySettings& s) { s.maxMessageLength = 3; }, "AB\nC", {"AB\r\nC"}},
      // An escape at the end of a line goes alone.
      {"\\n", escapes(true), "A\x1B[B\nX\x1B\n", {"AB", "X"}},
      {"\\n", escapes(false), "A\x1B[B\n", {"A~[B"}},
      // The UTF-8 forms of the table become single bytes, other UTF-8 stays.
      {"\\n", {}, "Tempo \xC3\xA4 \xC3\x9F \xC2\xB0" "C \xC2\xB1 \xC2\xB5\n\xE2\x82\xAC\n",
       {"Tempo \xE4 \xDF \xB0" "C \xB1 \xB5", "\xE2\x82\xAC"}},
  };
  for (const CutCase& c : cases) {
    AssemblySettings defaults;
    settings = defaults;
    if (c.tweak) c.tweak(settings);
    assembly.Reset();
    Configure(c.endOfMessage);
    EXPECT_EQ(Feed(c.bytes), c.messages) << "end " << c.endOfMessage << ", bytes " << c.bytes;
  }
  EXPECT_EQ(assembly.Line(), "");
}

TEST_F(AssemblyTest, MaxMessageLengthCutsTheLineAndHasAHardLimit) {
  settings.maxMessageLength = 5;
  Configure();
  std::vector<bool> completed;
  for (char c : std::string("ABCDEFGH\n")) completed.push_back(assembly.AddChar(c));
  EXPECT_EQ(completed, (std::vector<bool>{false, false, false, false, false, true, false, false,
                                          true}));
  EXPECT_EQ(Take(), (Texts{"ABCDEF", "GH"}));
  settings.maxMessageLength = 1L << 40;
  Configure();
  EXPECT_EQ(Feed(std::string(kMaxAssemblyLength + 1, 'x')).size(), 1u);
}

TEST_F(AssemblyTest, ContinuationLinesJoinUntilTheirTimerRunsOut) {
  settings.moreLineMessages = true;
  Configure();
  EXPECT_EQ(Feed("ALARM\n line 2\n"), Texts{});
  EXPECT_EQ(assembly.HeldMessage(), "ALARM line 2");
  EXPECT_EQ(Feed("NEXT\n"), (Texts{"ALARM line 2"}));
  EXPECT_EQ(assembly.HeldMessage(), "NEXT");
  EXPECT_EQ(Poll(), Texts{});  // its timer is still running
  EXPECT_EQ(Poll(999), Texts{});
  EXPECT_EQ(Poll(1), (Texts{"NEXT"}));
  EXPECT_EQ(assembly.MultilineTimer(), 0u);
  // Each continuation restarts the timer.
  Feed("A\n");
  Poll(800);
  Feed("  B\n");
  EXPECT_EQ(Poll(800), Texts{});
  Feed("  C  \n");
  EXPECT_EQ(Poll(1000), (Texts{"A B C"}));
  // An empty line hands the held message over.
  Feed("A\n B\n");
  EXPECT_EQ(Feed("\n"), (Texts{"A B"}));
  // A held message is not UTF-8 repaired.
  Feed("\xC3\xA4\n");
  EXPECT_EQ(Poll(1000), (Texts{"\xC3\xA4"}));
  // A continuation after the timer ran out, with no check in between, starts a new message.
  Feed("A\n");
  clock->Advance(1500);
  EXPECT_EQ(Feed(" B\n"), (Texts{"A"}));
  EXPECT_EQ(assembly.HeldMessage(), " B");  // leading blanks go only at delivery
}

TEST_F(AssemblyTest, LineTimeoutEndsASilentLine) {
  Configure();
  Feed("WAITS");
  EXPECT_EQ(Poll(100000), Texts{});  // without a line timeout a line waits
  EXPECT_EQ(assembly.LineTimer(), 0u);
  assembly.Reset();
  settings.lineTimeoutMs = 200;
  Configure();
  Feed("PARTIAL");
  EXPECT_EQ(Poll(199), Texts{});
  assembly.AddChar('!');  // restarts the timer
  EXPECT_EQ(Poll(199), Texts{});
  EXPECT_EQ(Poll(1), (Texts{"PARTIAL!"}));
  EXPECT_EQ(assembly.LineTimer(), 0u);
  EXPECT_EQ(assembly.Line(), "");
}

TEST_F(AssemblyTest, ProtocolDecoderFillsTheLineAndConfigureKeepsText) {
  Configure();
  assembly.Line() = "Tuer 12 offen";
  assembly.CompleteLine();
  EXPECT_EQ(Take(), (Texts{"Tuer 12 offen"}));
  Feed("AB");
  settings.maxMessageLength = 100;
  Configure();
  EXPECT_EQ(Feed("C\n"), (Texts{"ABC"}));
  Feed("XY");
  assembly.Reset();
  EXPECT_EQ(Feed("Z\n"), (Texts{"Z"}));
}

}  // namespace
}  // namespace meldrix
