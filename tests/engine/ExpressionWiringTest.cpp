// Message texts and receivers expanded with the document's expression store on
// their way to Korvane.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "engine/EngineTestSupport.h"
#include "expr/DataValueStorage.h"

namespace meldrix {
namespace {

using enginetest::EngineFixture;
using Commands = std::vector<std::string>;

class ExpressionWiringTest : public ::testing::Test {
 protected:
  ExpressionWiringTest() {
    f.doc->m_ShowSentMessages = 0;
    f.doc->SetProcessingActive(true);
  }
  std::string Error() { return f.doc->GetVariables().GetVariable("$ERROR").value_or("<none>"); }
  EngineFixture f;
};

TEST_F(ExpressionWiringTest, TextsAndReceiversAreExpandedPerIncomingText) {
  struct Row { std::vector<std::pair<const char*, const char*>> messages; Commands inputs, sent; };
  const Row rows[] = {
      // Text blocks see the incoming message, its fields and the source.
      {{{"0815", "{{UPPERCASE($MSGFIELD[2])}} at {{$INPORT}}: {{MID($MESSAGE, 4, 4)}}"
                 " [{{CONCAT($MSGFIELD[1], '-', $MSGFIELD[3])}}]"}},
       {"F1;fire;\"hall;2\""}, {"[send(*|0815|FIRE at Door COM2: fire [F1-hall;2]|||||)]"}},
      // Values persist from one text to the next.
      {{{"1", "#{{count := count + 1; count}} {{$MESSAGE}}"}}, {"a", "b"},
       {"[send(*|1|#1 a|||||)]", "[send(*|1|#2 b|||||)]"}},
      // Receivers come from variables.
      {{{" {{$MSGFIELD[1]}} ", "{{$MSGFIELD[2]}}"}, {"G:{{group}}", "x"}}, {"4711;call"},
       {"[send(*|4711|call|||||)]", "[send(S|G:12|x|||||)]"}},
      // A bar from an expression still becomes an exclamation mark.
      {{{"1", "{{CONCAT('a', '|', $MSGFIELD[2])}}|"}}, {"x;b|c"}, {"[send(*|1|a!b!c!|||||)]"}},
      // Fields of an earlier text are gone.
      {{{"1", "[{{$MSGFIELD[1]}}|{{$MSGFIELD[3]}}]"}}, {"a;b;c", "x"},
       {"[send(*|1|[a!c]|||||)]", "[send(*|1|[!]|||||)]"}},
  };
  for (const Row& row : rows) {
    EngineFixture g;
    g.doc->m_ShowSentMessages = 0;
    g.doc->SetProcessingActive(true);
    g.doc->GetVariables().SetVariable("group", "12");
    CInPort& port = g.AddSource("Door COM2");
    for (const auto& [receiver, text] : row.messages) g.AddMessage("", receiver, text).m_ContinueChecking = 1;
    for (const std::string& input : row.inputs) g.doc->Process(port, input);
    EXPECT_EQ(g.korvane->commands, row.sent) << row.messages[0].second;
    EXPECT_FALSE(g.doc->GetVariables().GetVariable("$ERROR")) << row.messages[0].second;
    const std::string& last = row.inputs.back();
    std::string third;
    EXPECT_EQ(g.doc->GetDataValues().Get("$MSGFIELD[3]", third), std::count(last.begin(), last.end(), ';') >= 2)
        << last;
  }
}

TEST_F(ExpressionWiringTest, BrokenBlockIsSentEmptyAndSetsError) {
  CInPort& port = f.AddSource("COM1");
  CMessage& message = f.AddMessage("", "1", "Alarm {{1 +}}: {{$MESSAGE}}");
  EXPECT_TRUE(f.doc->Process(port, "smoke"));
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|1|Alarm : smoke|||||)]"}));
  EXPECT_EQ(Error().rfind("Syntaxfehler @", 0), 0u) << Error();
  // The next good text starts without the old error.
  message.m_Text = "{{$MESSAGE}}";
  f.doc->Process(port, "fine");
  EXPECT_EQ(f.korvane->commands.back(), "[send(*|1|fine|||||)]");
  EXPECT_EQ(Error(), "<none>");
}

TEST_F(ExpressionWiringTest, BrokenReceiverBlockSendsToWhatIsLeft) {
  CInPort& port = f.AddSource("COM1");
  f.AddMessage("", "0815{{ )( }}", "t");
  f.doc->Process(port, "x");
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|0815|t|||||)]"}));
  EXPECT_NE(Error(), "<none>");
}

TEST_F(ExpressionWiringTest, InternalSourcesAndMailVariables) {
  f.AddMessage("", "1", "{{$INPORT}} from {{$MAILFROM}}: {{$MESSAGE}}");
  // The SMTP sink publishes through the same variables from its own thread.
  std::thread sink([this] { f.doc->GetVariables().SetVariable("$MAILFROM", "a@b"); });
  sink.join();
  f.doc->ProcessInternal("DDE", CInPort::kDde, "poked");
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|1|DDE from a@b: poked|||||)]"}));
}

TEST_F(ExpressionWiringTest, PackedTextsAreExpandedOneByOne) {
  CInPort& port = f.AddSource("COM1");
  f.AddMessage("", "1", "<{{$MESSAGE}}>").m_PackMessages = 1;
  f.doc->Process(port, "a");
  f.doc->Process(port, "b");
  f.doc->SendPackedMessage(port);
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|1|<a> <b>|||||)]"}));
}

}  // namespace
}  // namespace meldrix
