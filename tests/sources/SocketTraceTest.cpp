// The socket source's receive error trace, read by the trace tool.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "support/FreePort.h"
#include "platform/TcpSocket.h"
#include "sources/SocketMessageSource.h"
#include "util/Trace.h"
#include "util/TraceToolRunner.h"

namespace meldrix {
namespace {

class NullSink : public IMessageSink {
 public:
  bool TakeByte(unsigned char) override { return true; }
  void CopyRaw(unsigned char) override {}
  void TakeTelegram(std::string) override {}
  void EndOfText() override {}
};

class SocketTraceTest : public TraceToolFixture {};

TEST_F(SocketTraceTest, ReceiveErrorIsTracedOnce) {
  auto tool = StartTool({"0x20000"});
  InSourceSettings settings;
  settings.m_Source = InSourceSettings::kSocket;
  settings.m_SocketPort = testing::FreePort();
  CSocketMessageSource source(settings);
  const OutPortServices services;
  ASSERT_TRUE(source.Open(services));
  {
    // A peer that resets its connection makes the receive fail.
    TcpConnectFailure failure;
    int error = 0;
    TcpSocket peer = TcpConnect("127.0.0.1", static_cast<std::uint16_t>(settings.m_SocketPort), 2000, failure, error);
    ASSERT_TRUE(peer.IsOpen());
    const linger reset{1, 0};
    ::setsockopt(peer.Fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  NullSink sink;
  std::string out;
  for (int i = 0; i < 200 && out.find("Socket receive error\n") == std::string::npos; ++i) {
    source.Poll(sink, services);
    out = tool->ReadUntil("Socket receive error\n");
  }
  TraceMessage(kTraceSocketErrors, "end of test\n");
  out = tool->ReadUntil("end of test\n");
  source.Close();
  std::size_t count = 0;
  for (std::size_t pos = 0; (pos = out.find("Socket receive error\n", pos)) != std::string::npos; ++pos) ++count;
  EXPECT_EQ(count, 1u) << out;
}

}  // namespace
}  // namespace meldrix
