#include <gtest/gtest.h>

#include "e2e/E2eHarness.h"
#include "support/Telegrams.h"
#include "util/TraceToolRunner.h"

namespace meldrix::testing {
namespace {

// A device on a pseudo-terminal speaking `protocol`, its bytes copied to an
// output file.
struct ProtocolRun {
  ProtocolRun(int protocol, const std::string& trigger) {
    setup.WriteConfig("[Settings]\nAutoActivate=1\nLanguage=1\n[Ports]\nCOM3=" + device.SlavePath() +
                      "\n[InSource1]\nName=Device\nSource=1\nPort=2\nBaud=9600\nMode=0\nOutId=1\nProtocol=" +
                      std::to_string(protocol) + "\n[OutDest1]\nName=Copy\nId=1\nDest=2\nFile=" + copy +
                      "\nFileMode=1\n[Message1]\nName=Alarm\nReceiver=Brigade\nLeftTrigger=" + trigger + "\n");
    meldrix = std::make_unique<MeldrixProcess>(setup.DataFolder(), setup.RuntimeFolder(),
                                               std::vector<std::string>{"-HIDE"});
  }
  std::string Diagnostics() const { return meldrix->Output() + meldrix->Errors(); }
  E2eSetup setup;
  PseudoTerminal device;
  std::string copy = setup.File("copy.bin");
  std::unique_ptr<MeldrixProcess> meldrix;
};

TEST(ProtocolE2eTest, SiedleTelegramsAreAcknowledgedAndBecomeOneMessageEach) {
  ProtocolRun run(1, "02->01:33:");
  ASSERT_TRUE(run.setup.WaitForCommand("[check(Meldrix)]")) << run.Diagnostics();
  std::string first = SiedleTelegram(0x01, 0x33, 0x02, "A");
  ASSERT_TRUE(run.device.Write(first));
  EXPECT_EQ(run.device.ReadAnswer(), std::string(1, ACK));
  ASSERT_TRUE(run.setup.WaitForCommand("02->01:33:41")) << run.Diagnostics();
  // Escaped data bytes decode as data; a second telegram is a message of its own.
  std::string second = SiedleTelegram(0x01, 0x33, 0x02, std::string{ETX, DLE, 'B'});
  ASSERT_TRUE(run.device.Write(second));
  EXPECT_EQ(run.device.ReadAnswer(), std::string(1, ACK));
  ASSERT_TRUE(run.setup.WaitForCommand("02->01:33:031042")) << run.Diagnostics();
  // Every received byte reaches the output unchanged.
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(run.copy) == first + second; }))
      << ReadFile(run.copy).size();
  EXPECT_EQ(run.meldrix->Stop(), 0);
  EXPECT_EQ(run.setup.SentCommands(), (std::vector<std::string>{"[send(*|Brigade|02->01:33:41|||||)]",
                                                               "[send(*|Brigade|02->01:33:031042|||||)]"}));
}

// Local time (3) and UTC (2): a damaged telegram is refused so the device
// repeats it, and nothing is sent for it.
TEST(ProtocolE2eTest, IlperTelegramIsAcknowledgedAndBadChecksumGetsNak) {
  for (int protocol : {3, 2}) {
    ProtocolRun run(protocol, "A1;");
    ASSERT_TRUE(run.setup.WaitForCommand("[check(Meldrix)]")) << run.Diagnostics();
    ASSERT_TRUE(run.device.Write(IlperTelegram({"A1", "zz", "Brand", "Halle 2", "76"}, true)));
    EXPECT_EQ(run.device.ReadAnswer(), std::string(1, NAK)) << protocol;
    ASSERT_TRUE(run.device.Write(IlperTelegram({"A1", "zz", "Brand", "Halle 3", "77"})));
    EXPECT_EQ(run.device.ReadAnswer(), std::string(1, ACK)) << protocol;
    ASSERT_TRUE(run.setup.WaitForCommand("A1;zz;Brand;Halle 3;77")) << run.Diagnostics();
    EXPECT_EQ(run.meldrix->Stop(), 0);
    EXPECT_EQ(run.setup.SentCommands(), std::vector<std::string>{"[send(*|Brigade|A1;zz;Brand;Halle 3;77|||||)]"})
        << protocol;
  }
}

// The program finds the trace tool through the runtime folder the fixture
// points XDG_RUNTIME_DIR at, which the started program inherits.
class ProtocolTraceE2eTest : public TraceToolFixture {};

TEST_F(ProtocolTraceE2eTest, StateTracesOfTheProgramReachTheTraceTool) {
  TraceTool tool({"0x4"});
  ASSERT_TRUE(WaitForSocket(SocketPath()));
  ProtocolRun run(3, "A1;");
  ASSERT_TRUE(run.setup.WaitForCommand("[check(Meldrix)]")) << run.Diagnostics();
  ASSERT_TRUE(run.device.Write(IlperTelegram({"A1", "zz", "Brand", "Halle 3", "77"})));
  EXPECT_EQ(run.device.ReadAnswer(), std::string(1, ACK));
  std::string out = tool.ReadUntil(" Ilper(3)");
  size_t start = out.find(" Ilper(1)");
  size_t etx = out.find(" Ilper(2)");
  ASSERT_NE(start, std::string::npos) << out;
  ASSERT_NE(etx, std::string::npos) << out;
  EXPECT_LT(start, etx);
  EXPECT_NE(out.find(" Ilper(3)", etx), std::string::npos) << out;
  // Only the state category was asked for: no received bytes.
  EXPECT_EQ(out.find("RX("), std::string::npos) << out;
  EXPECT_EQ(run.meldrix->Stop(), 0);
}

}  // namespace
}  // namespace meldrix::testing
