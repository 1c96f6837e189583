// meldrix-trace as a technician runs it, fed by the process-wide trace
// functions of this test process.
#include <gtest/gtest.h>

#include <string>

#include "support/Files.h"
#include "support/FreePort.h"
#include "support/WaitUntil.h"
#include "util/Trace.h"
#include "util/TraceToolRunner.h"

namespace meldrix {
namespace {

TEST_F(TraceToolFixture, ShowsTheTextsAndRawBytesItsMaskAsksFor) {
  auto tool = StartTool({"0xC"});  // the next trace call polls the tool at once
  ASSERT_EQ(GetTraceMask(), 0xCu);
  TraceMessage(kTraceMail, "mail text %d", 1);  // not wanted
  TraceMessage(kTraceProtocolState | kTraceMail, "not all of its categories wanted");
  TraceMessage(kTraceProtocolState, " Siedle(%d)", 1);
  for (unsigned char b : {0x02, 0x01, 0x4A}) TraceBytes(false, b);
  TraceMessage(kTraceProtocolBytes, "T\xFCrruf");  // Windows-1252 ü
  TraceAlert(kTraceAlertCrash);
  std::string out = tool->ReadUntil("ALERT");
  EXPECT_EQ(out, " Siedle(1)\nRX 02 01 4A\nT\xC3\xBCrruf\nALERT 800000FF\n");
}

TEST_F(TraceToolFixture, SecondServerDoesNotTakeOverALiveSocket) {
  auto first = StartTool({"0x4"});
  TraceTool second({"0x8"});
  EXPECT_EQ(second.WaitForExit(), 1);
  EXPECT_EQ(GetTraceMask(), 0x4u);
}

// A remote server named in the configuration gets the texts over TCP, long
// ones in several pieces.
TEST_F(TraceToolFixture, ConfigurationNamesARemoteTraceServer) {
  std::string server = "127.0.0.1:" + std::to_string(testing::FreePort());
  TraceTool tool({"--tcp", server, "0x80000"});
  std::string config = folder_.File("meldrix.cfg");
  testing::WriteFile(config, "[Settings]\nLanguage=0\n[TRAX]\nTraceServer=" + server + "\n");
  uint32_t mask = 0;
  testing::WaitUntil([&] {
    SetTraceConfigFile(config);  // polls again at once
    return (mask = GetTraceMask()) != 0;
  }, std::chrono::seconds(5));
  EXPECT_EQ(mask, 0x80000u);
  const std::string text(70000, 'a');
  TraceMessage(kTraceMail, "Mail %s", "decoded");
  TraceMessage(kTraceMail, "%s", text.c_str());
  TraceBytes(true, 0x06);
  EXPECT_EQ(tool.ReadUntil("TX 06\n"), "Mail decoded\n" + text + "\nTX 06\n");
}

}  // namespace
}  // namespace meldrix
