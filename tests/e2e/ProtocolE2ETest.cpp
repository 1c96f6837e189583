#include <gtest/gtest.h>

#include "e2e/E2eHarness.h"
#include "support/Telegrams.h"
#include "util/TraceToolRunner.h"

namespace meldrix::testing {
namespace {

std::string ProtocolSourceConfig(const std::string& device, int protocol, const std::string& trigger,
                                 const std::string& copy) {
  return "[Settings]\nAutoActivate=1\nLanguage=1\n"
         "[Ports]\nCOM3=" + device + "\n"
         "[InSource1]\nName=Device\nSource=1\nPort=2\nBaud=9600\nMode=0\nOutId=1\nProtocol=" +
         std::to_string(protocol) + "\n"
         "[OutDest1]\nName=Copy\nId=1\nDest=2\nFile=" + copy + "\nFileMode=1\n"
         "[Message1]\nName=Alarm\nReceiver=Brigade\nLeftTrigger=" + trigger + "\n";
}

bool SentToBrigade(const E2eSetup& setup, const std::string& text) {
  for (const auto& line : setup.SentCommands(text))
    if (line.find("Brigade") != std::string::npos) return true;
  return false;
}

struct ProtocolRun {
  ProtocolRun(int protocol, const std::string& trigger) {
    copy = setup.File("copy.bin");
    setup.WriteConfig(ProtocolSourceConfig(device.SlavePath(), protocol, trigger, copy));
    meldrix = std::make_unique<MeldrixProcess>(setup.DataFolder(), setup.RuntimeFolder(),
                                               std::vector<std::string>{"-HIDE"});
  }
  std::string Diagnostics() const { return meldrix->Output() + meldrix->Errors(); }
  E2eSetup setup;
  PseudoTerminal device;
  std::string copy;
  std::unique_ptr<MeldrixProcess> meldrix;
};

TEST(ProtocolE2eTest, SiedleTelegramsAreAcknowledgedAndBecomeOneMessageEach) {
  ProtocolRun run(1, "02->01:33:");
  ASSERT_TRUE(run.setup.WaitForCommand("[check(Meldrix)]")) << run.Diagnostics();
  std::string first = SiedleTelegram(0x01, 0x33, 0x02, "A");
  ASSERT_TRUE(run.device.Write(first));
  EXPECT_EQ(run.device.ReadAnswer(), std::string(1, ACK));
  ASSERT_TRUE(run.setup.WaitForCommand("02->01:33:41")) << run.Diagnostics();
  EXPECT_TRUE(SentToBrigade(run.setup, "02->01:33:41"));
  // Escaped data bytes decode as data; a second telegram is a message of its own.
  std::string second = SiedleTelegram(0x01, 0x33, 0x02, std::string{ETX, DLE, 'B'});
  ASSERT_TRUE(run.device.Write(second));
  EXPECT_EQ(run.device.ReadAnswer(), std::string(1, ACK));
  ASSERT_TRUE(run.setup.WaitForCommand("02->01:33:031042")) << run.Diagnostics();
  for (const auto& line : run.setup.Korvane().Journal())
    EXPECT_FALSE(line.find("41") != std::string::npos && line.find("031042") != std::string::npos)
        << "telegrams ran together: " << line;
  // Every received byte reaches the output unchanged.
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(run.copy) == first + second; }))
      << ReadFile(run.copy).size();
  EXPECT_EQ(run.meldrix->Stop(), 0);
}

TEST(ProtocolE2eTest, IlperLocalTelegramIsAcknowledgedAndBadChecksumGetsNak) {
  ProtocolRun run(3, "A1;");
  ASSERT_TRUE(run.setup.WaitForCommand("[check(Meldrix)]")) << run.Diagnostics();
  // A damaged telegram is refused so the device repeats it; nothing is sent.
  ASSERT_TRUE(run.device.Write(IlperTelegram({"A1", "zz", "Brand", "Halle 2", "76"}, true)));
  EXPECT_EQ(run.device.ReadAnswer(), std::string(1, NAK));
  std::string good = IlperTelegram({"A1", "zz", "Brand", "Halle 3", "77"});
  ASSERT_TRUE(run.device.Write(good));
  EXPECT_EQ(run.device.ReadAnswer(), std::string(1, ACK));
  ASSERT_TRUE(run.setup.WaitForCommand("A1;zz;Brand;Halle 3;77")) << run.Diagnostics();
  EXPECT_TRUE(SentToBrigade(run.setup, "A1;zz;Brand;Halle 3;77"));
  for (const auto& line : run.setup.Korvane().Journal())
    EXPECT_EQ(line.find("Halle 2"), std::string::npos) << line;
  EXPECT_EQ(run.meldrix->Stop(), 0);
}

TEST(ProtocolE2eTest, IlperUtcTelegramIsDecoded) {
  ProtocolRun run(2, "B7;");
  ASSERT_TRUE(run.setup.WaitForCommand("[check(Meldrix)]")) << run.Diagnostics();
  ASSERT_TRUE(run.device.Write(IlperTelegram({"B7", "zz", "Gas", "Keller", "12"})));
  EXPECT_EQ(run.device.ReadAnswer(), std::string(1, ACK));
  ASSERT_TRUE(run.setup.WaitForCommand("B7;zz;Gas;Keller;12")) << run.Diagnostics();
  EXPECT_EQ(run.meldrix->Stop(), 0);
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
