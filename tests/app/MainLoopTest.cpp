#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <utility>

#include "app/CommandLine.h"
#include "app/FakeEngine.h"
#include "app/MainLoop.h"
#include "util/StreamDoc.h"
#include "support/TempFolder.h"
#include "platform/EventLoop.h"
#include "platform/SingleInstance.h"
#include "platform/Timer.h"

namespace meldrix {
namespace {

TEST(CommandLineTest, SwitchesAndInstanceNames) {
  CMessageCommandLineInfo info;
  info.Parse({"-hide", "A", "/nosplashplease", "B"});
  EXPECT_EQ(info.show, CMessageCommandLineInfo::Show::Hidden);
  EXPECT_FALSE(info.splash);
  EXPECT_EQ(info.instanceName, "B");
  EXPECT_EQ(info.windowClass, "MeldrixAppClass:A:B");
  CMessageCommandLineInfo max;
  max.Parse({"/Maximize", "/x"});
  EXPECT_EQ(max.show, CMessageCommandLineInfo::Show::Maximised);
  EXPECT_EQ(max.windowClass, "MeldrixAppClass");
  EXPECT_EQ(max.unknownSwitches, std::vector<std::string>{"/x"});
  CMessageCommandLineInfo min;
  min.Parse({"/MINIMIZED"});
  EXPECT_EQ(min.show, CMessageCommandLineInfo::Show::Minimised);
  EXPECT_TRUE(min.splash);
}

TEST(EventLoopTest, TimersRunInDueOrderAndCanBeCancelled) {
  ScopedFakeClock clock;
  EventLoop loop;
  std::vector<int> order;
  loop.StartTimer(30, [&] { order.push_back(30); });
  auto cancelled = loop.StartTimer(10, [&] { order.push_back(-1); });
  loop.StartTimer(20, [&] {
    order.push_back(20);
    loop.StartTimer(0, [&] { order.push_back(0); });  // waits for the next round
  });
  loop.CancelTimer(cancelled);
  EXPECT_EQ(loop.MillisecondsToNextTimer(), 20);
  clock->Advance(25);
  loop.RunOnce(0);
  EXPECT_EQ(order, (std::vector<int>{20}));
  loop.RunOnce(0);
  EXPECT_EQ(order, (std::vector<int>{20, 0}));
  clock->Advance(5);
  loop.RunOnce(0);
  EXPECT_EQ(order, (std::vector<int>{20, 0, 30}));
  EXPECT_EQ(loop.MillisecondsToNextTimer(), -1);
}

TEST(EventLoopTest, WatchesDescriptorsAndQuitsFromAnotherThread) {
  EventLoop loop;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string got;
  auto id = loop.Watch(fds[0], POLLIN, [&](short) {
    char c;
    if (::read(fds[0], &c, 1) == 1) got += c;
  });
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  loop.RunOnce(1000);
  EXPECT_EQ(got, "x");
  loop.Unwatch(id);
  std::thread quitter([&] { loop.Quit(7); });
  EXPECT_EQ(loop.Run(), 7);
  quitter.join();
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(SingleInstanceTest, LockIsFreeAgainWhenTheFirstEndsAndNamesAreEscaped) {
  testing::TempFolder folder;
  { SingleInstance first("X", folder.Path()); }
  SingleInstance again("X", folder.Path());
  EXPECT_EQ(again.State(), SingleInstance::Result::First);
  // An instance name cannot reach outside the lock folder.
  EXPECT_EQ(SingleInstance::FileStem("MeldrixAppClass:A/b"), "MeldrixAppClass%3AA%2Fb");
}

TEST(MainLoopTest, TimersDriveDeliveryProtocolsAndSupervision) {
  ScopedFakeClock clock;
  EventLoop loop;
  FakeEngine engine;
  CMainLoop main(loop, engine);
  main.StartSupervision();
  main.StartProcessingTimers();
  auto step = [&](int ms) { RunFakeMilliseconds(loop, clock, ms); };
  step(500);
  // Inactive: nothing is read or delivered, and only supervision is due.
  EXPECT_EQ(engine.deliveries, 0);
  EXPECT_EQ(engine.pumps, 0);
  EXPECT_EQ(loop.MillisecondsToNextTimer(), 500);
  main.Activate();
  step(500);  // t = 1000: supervision sends the first check
  EXPECT_EQ(engine.deliveries, 5);
  EXPECT_EQ(engine.pumps, 25);
  EXPECT_EQ(engine.checks, 1);
  engine.inTelegram = true;
  step(100);
  EXPECT_EQ(engine.pumps, 25 + 17);  // every 5 ms from 1020 on
  engine.inTelegram = false;
  // A pass that leaves work behind is followed by the next at once.
  engine.passesLeft = 4;
  step(100);
  EXPECT_EQ(engine.deliveries, 5 + 1 + 4);
  // Without a protocol source the protocol timer ends; it returns with one.
  engine.protocols = false;
  const int pumps = engine.pumps;
  step(1000);
  EXPECT_EQ(engine.pumps, pumps);
  engine.changed = true;
  engine.protocols = true;
  step(60000);
  EXPECT_EQ(engine.calls, "ADRA");  // deactivate, reload, activate again
  EXPECT_EQ(engine.checks, 2);
  const int afterReload = engine.pumps;
  step(100);
  EXPECT_EQ(engine.pumps, afterReload + 5);
  // Deactivated, both processing timers end with their next tick.
  engine.active = false;
  step(200);
  EXPECT_EQ(loop.MillisecondsToNextTimer(), 121000 - 62500);  // supervision only
}

TEST(MainLoopTest, SignalsReloadAndStop) {
  EventLoop loop;
  FakeEngine engine;
  CMainLoop main(loop, engine);
  engine.changed = true;
  main.OnSignal(SIGHUP);
  EXPECT_EQ(engine.calls, "R");  // inactive: only reloaded
  EXPECT_EQ(engine.checks, 0);
  engine.active = true;
  main.OnSignal(SIGTERM);
  EXPECT_FALSE(engine.active);
  EXPECT_TRUE(loop.Quitting());
}

}  // namespace
}  // namespace meldrix
