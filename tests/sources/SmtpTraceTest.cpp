// The SMTP dialogue's traces, read by the trace tool.
#include <gtest/gtest.h>

#include "sources/SmtpSvrSocketHandler.h"
#include "util/TraceToolRunner.h"

namespace meldrix {
namespace {

class SilentHandler : public CSmtpSvrSocketHandler {
 public:
  bool Send(std::string_view) override { return true; }
};

class SmtpTraceTest : public TraceToolFixture {};

TEST_F(SmtpTraceTest, RepliesReceivedLinesAndDecodingAreTraced) {
  auto tool = StartTool({"0x80000"});
  SilentHandler handler;
  handler.OnConnectionOpened();
  const std::string script =
      "HELO x\r\nMAIL From: <a@b>\r\nDATA\r\nContent-Transfer-Encoding: base64\r\n\r\nQWxhcm0=\r\n.\r\n";
  handler.OnBytesReceived(script.data(), script.size());
  const std::string out = tool->ReadUntil("SMTP TX(9): 250 ok.<CR><LF>\n");
  for (const char* text : {"SMTP TX(32): 220 ostravel SMTP message sink<CR><LF>\n", "SMTP RX(6): HELO x\n",
                           "SMTP TX(25): 250 ostravel says hello<CR><LF>\n", "SMTP RX(16): MAIL From: <a@b>\n",
                           "MailMessage: BodyEncoding - base64 \n", "DecodeText: ContentEncoding - base64 \n",
                           "DecodeText: Base64 detected\n", "DecodeText: Decoded: Alarm \n",
                           "SMTP TX(9): 250 ok.<CR><LF>\n"}) {
    EXPECT_NE(out.find(text), std::string::npos) << text << "\nin:\n" << out;
  }
}

}  // namespace
}  // namespace meldrix
