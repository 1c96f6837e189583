#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <thread>

#include "e2e/E2eHarness.h"
#include "support/CallMonitorStandIn.h"

namespace meldrix::testing {
namespace {

// Calls reported by the router reach Korvane as "calling-called" from the
// source "ISDN"; the connection comes back after the router went away; once
// processing has stopped, calls send nothing.
TEST(CallMonitorE2eTest, RingsReachKorvaneAcrossALostConnectionAndNotWhileInactive) {
  E2eSetup setup;
  CallMonitorStandIn router;
  const std::string config = "[Settings]\nAutoActivate=1\n[ISDN]\nCallMonitor=" + router.Endpoint() +
                             "\n[Message1]\nName=Call\nReceiver=4711\nLeftTrigger=\n"
                             "Text=Call {{$MESSAGE}} via {{$INPORT}}\n";
  setup.WriteConfig(config);
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  ASSERT_TRUE(router.AcceptClient()) << meldrix.Output() << meldrix.Errors();
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]"));
  ASSERT_TRUE(router.Send("06.12.26 14:30:00;CALL;0;4;0711987654;0711123456;SIP0;\r\n"));
  ASSERT_TRUE(router.Ring("0711123456", "0711987654"));
  ASSERT_TRUE(router.Ring("", "0711987654", 1));
  ASSERT_TRUE(setup.WaitForCommand("Call -0711987654")) << meldrix.Output();

  // The router restarts: the connection drops and nobody listens for a while.
  router.DropClient();
  router.StopListening();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  router.Listen();
  ASSERT_TRUE(router.AcceptClient()) << meldrix.Output();
  ASSERT_TRUE(router.Ring("0301", "0302"));
  ASSERT_TRUE(setup.WaitForCommand("Call 0301-0302")) << meldrix.Output();

  // A source that cannot be opened stops processing at the next reload; the
  // monitor's connection stays, and its calls are dropped.
  setup.WriteConfig(config + "[Ports]\nCOM7=" + setup.File("no-such-device") +
                    "\n[InSource1]\nName=Gone\nSource=1\nPort=7\n");
  SetFileTime(setup.ConfigPath(), std::time(nullptr) + 10);
  meldrix.Signal(SIGHUP);
  ASSERT_TRUE(WaitUntil([&] { return meldrix.OutputContains("Gone"); })) << meldrix.Output();
  ASSERT_TRUE(router.Ring("0401", "0402"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(meldrix.Stop(), 0);
  EXPECT_EQ(setup.SentCommands(),
            (std::vector<std::string>{"[send(*|4711|Call 0711123456-0711987654 via ISDN|||||)]",
                                      "[send(*|4711|Call -0711987654 via ISDN|||||)]",
                                      "[send(*|4711|Call 0301-0302 via ISDN|||||)]"}))
      << meldrix.Output();
  // The loss and the recovery, one line each.
  const std::string output = meldrix.Output();
  auto count = [&output](const std::string& text) {
    std::size_t n = 0;
    for (auto at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("connection lost (closed by the peer)"), 1u) << output;
  EXPECT_EQ(count("connected again"), 1u) << output;
}

}  // namespace
}  // namespace meldrix::testing
