// Message texts and receivers expanded with the document's expression store on
// their way to Korvane.
#include <gtest/gtest.h>

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

TEST_F(ExpressionWiringTest, ReceiversComeFromVariablesAndBarsFromExpressionsBecomeExclamationMarks) {
  CInPort& port = f.AddSource("COM1");
  f.doc->GetVariables().SetVariable("group", "12");
  f.AddMessage("", " {{$MSGFIELD[1]}} ", "{{CONCAT($MSGFIELD[2], '|')}}").m_ContinueChecking = 1;
  f.AddMessage("", "G:{{group}}", "x");
  f.doc->Process(port, "4711;ca|ll");
  EXPECT_EQ(f.korvane->commands, (Commands{"[send(*|4711|ca!ll!|||||)]", "[send(S|G:12|x|||||)]"}));
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
