#include <gtest/gtest.h>

#include "e2e/E2eHarness.h"
#include "sources/SocketClient.h"
#include "support/FreePort.h"

namespace meldrix::testing {
namespace {

// A text split over two TCP segments with a pause between them is one
// message; a peer that connects and leaves without data adds nothing.
TEST(SocketSourceE2eTest, TextInTwoSegmentsIsOneMessage) {
  E2eSetup setup;
  const int port = FreePort();
  setup.WriteConfig("[Settings]\nAutoActivate=1\n"
                    "[InSource1]\nName=Net\nSource=5\nSocketPort=" + std::to_string(port) +
                    "\n[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\n"
                    "Text={{$MESSAGE}} via {{$INPORT}}\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  CSocketClient silent, client;
  auto connect = [&](CSocketClient& peer) {
    return WaitUntil([&] { return peer.Connect("127.0.0.1", static_cast<std::uint16_t>(port), 1000); });
  };
  ASSERT_TRUE(connect(silent)) << meldrix.Output() << meldrix.Errors();
  silent.Close();
  ASSERT_TRUE(connect(client));
  ASSERT_TRUE(client.Send("fire in hall"));
  // Long enough for the program to poll the first half on its own.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  ASSERT_TRUE(client.Send(" 3\r\n"));
  ASSERT_TRUE(setup.WaitForCommand("hall 3")) << meldrix.Output() << meldrix.Errors();
  client.Close();
  // Once the program has ended nothing more can arrive: exactly one message.
  EXPECT_EQ(meldrix.Stop(), 0);
  EXPECT_EQ(setup.SentCommands(), std::vector<std::string>{"[send(*|4711|fire in hall 3 via Net|||||)]"})
      << meldrix.Output();
}

}  // namespace
}  // namespace meldrix::testing
