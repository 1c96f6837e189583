// The program as a service: its command line, the systemd notification
// protocol, the data folder of an installed program, and the operator's
// requests to a running instance.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <thread>

#include "app/CommandLine.h"
#include "app/ControlRequests.h"
#include "app/FakeEngine.h"
#include "app/MainLoop.h"
#include "app/Password.h"
#include "platform/DataFolder.h"
#include "platform/EventLoop.h"
#include "platform/SingleInstance.h"
#include "platform/SystemdNotify.h"
#include "platform/Timer.h"
#include "support/DatagramSink.h"
#include "support/TempFolder.h"

namespace meldrix {
namespace {

using Action = CMessageCommandLineInfo::Action;

TEST(ServiceCommandLineTest, LongOptionsAreToldApartFromSwitches) {
  struct Case {
    std::vector<std::string> arguments;
    Action action;
    std::vector<std::string> unknown;
    std::string instance;
  };
  const Case cases[] = {
      {{"--help"}, Action::Help, {}, ""},
      {{"--version"}, Action::Version, {}, ""},
      {{"--status", "Site1"}, Action::Status, {}, "Site1"},
      {{"Site1", "--activate"}, Action::Activate, {}, "Site1"},
      {{"--deactivate"}, Action::Deactivate, {}, ""},
      {{"--clear", "-HIDE"}, Action::Clear, {}, ""},
      // Long options are exact and lower case; the old switches keep one dash.
      {{"--HELP", "--hide", "-help", "--", "--status=1"}, Action::Run,
       {"--HELP", "--hide", "-help", "--", "--status=1"}, ""},
  };
  for (const Case& c : cases) {
    CMessageCommandLineInfo info;
    info.Parse(c.arguments);
    EXPECT_EQ(info.action, c.action) << c.arguments[0];
    EXPECT_EQ(info.unknownSwitches, c.unknown) << c.arguments[0];
    EXPECT_EQ(info.instanceName, c.instance) << c.arguments[0];
  }
  CMessageCommandLineInfo twice;
  twice.Parse({"--status", "--status", "--clear"});
  EXPECT_EQ(twice.conflictingActions, std::vector<std::string>{"--clear"});
}

TEST(SystemdNotifyTest, DatagramsReachPathAndAbstractSocketsAndStatusIsNotRepeated) {
  testing::TempFolder folder;
  const std::string abstract = "@meldrix-test-" + std::to_string(::getpid());
  for (const std::string& name : {folder.File("notify"), abstract}) {
    testing::DatagramSink listener(name);
    SystemdNotify notify(name, 0);
    EXPECT_TRUE(notify.Ready());
    EXPECT_TRUE(notify.Status("a"));
    EXPECT_FALSE(notify.Status("a"));
    EXPECT_TRUE(notify.Status("b"));
    EXPECT_EQ(listener.TakeLines(), "READY=1\nSTATUS=a\nSTATUS=b\n") << name;
    // A listener that stops reading: sending fails at once instead of blocking.
    bool refused = false;
    for (int i = 0; i < 10000 && !refused; ++i) refused = !notify.Ready();
    EXPECT_TRUE(refused) << name;
  }
  SystemdNotify off;
  EXPECT_FALSE(off.Enabled());
  EXPECT_FALSE(off.Ready());
}

TEST(SystemdNotifyTest, EnvironmentIsTakenAndTheWatchdogMustBeOurs) {
  struct Case {
    const char* socket;
    const char* usec;
    std::string pid;
    bool enabled;
    long long pingMs;
  };
  const std::string ours = std::to_string(::getpid());
  const Case cases[] = {
      {"/run/notify", "30000000", "", true, 15000},
      {"@abstract", "30000000", ours, true, 15000},
      {"/run/notify", "30000000", "1", true, 0},  // meant for another process
      {"/run/notify", "junk", "", true, 0},
      {"relative", "30000000", "", false, 0},
      {"", "30000000", "", false, 0},
  };
  for (const Case& c : cases) {
    ::setenv("NOTIFY_SOCKET", c.socket, 1);
    ::setenv("WATCHDOG_USEC", c.usec, 1);
    if (c.pid.empty()) ::unsetenv("WATCHDOG_PID"); else ::setenv("WATCHDOG_PID", c.pid.c_str(), 1);
    const SystemdNotify notify = SystemdNotify::FromEnvironment();
    EXPECT_EQ(notify.Enabled(), c.enabled) << c.socket;
    EXPECT_EQ(notify.WatchdogPingInterval().count(), c.pingMs) << c.socket << " " << c.usec;
    // Commands the program starts must not speak for it.
    EXPECT_EQ(std::getenv("NOTIFY_SOCKET"), nullptr);
    EXPECT_EQ(std::getenv("WATCHDOG_USEC"), nullptr);
  }
}

TEST(SystemdNotifyTest, MainLoopPingsTheWatchdogAndReportsEveryChangeOfState) {
  testing::TempFolder folder;
  testing::DatagramSink listener(folder.File("notify"));
  SystemdNotify notify(folder.File("notify"), 1000000);  // pings every 500 ms
  ScopedFakeClock clock;
  EventLoop loop;
  FakeEngine engine;
  CMainLoop main(loop, engine);
  main.StartSupervision();
  main.StartProcessingTimers();
  main.StartServiceNotification(notify);
  EXPECT_EQ(listener.TakeLines(), "STATUS=Processing inactive; Total messages: 3\nWATCHDOG=1\n");
  auto step = [&](int ms) { RunFakeMilliseconds(loop, clock, ms); };
  step(1200);  // two pings; the supervision tick changes nothing
  EXPECT_EQ(listener.TakeLines(), "WATCHDOG=1\nWATCHDOG=1\n");
  main.Activate();
  step(100);
  EXPECT_EQ(listener.TakeLines(), "STATUS=Processing active; Total messages: 3\n");
}

TEST(DataFolderTest, InstalledUnderUsrTheDataLiveInVarLib) {
  struct Case {
    const char* executableFolder;
    const char* variable;
    const char* expected;
  };
  const Case cases[] = {
      {"/usr/bin", "", "/var/lib/meldrix"},
      {"/usr/local/bin", "", "/var/lib/meldrix"},
      {"/usr/bin", "/srv/alarm", "/srv/alarm"},
      {"/opt/meldrix/bin", "", "/opt/meldrix/Data"},
      {"/home/op/usr/bin", "", "/home/op/usr/Data"},
      {"/usrx/bin", "", "/usrx/Data"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(StartingDataFolderFor(c.executableFolder, c.variable), c.expected) << c.executableFolder;
}

// The requests as the running program carries them out.
class ControlRequestTest : public ::testing::Test {
 protected:
  std::string Ask(const std::string& request) { return HandleControlRequest(request, target); }
  void Protect(std::uint32_t mask) {
    rights = std::make_unique<CMeldrixRights>();
    rights->SetPassword("Geheim \xE4");  // Windows-1252, as stored
    rights->SetMask(mask);
  }

  EventLoop loop;
  FakeEngine engine;
  CMainLoop mainLoop{loop, engine};
  std::unique_ptr<CMeldrixRights> rights;
  ControlTarget target{engine, mainLoop, rights};
};

TEST_F(ControlRequestTest, ActivationHonoursThePassword) {
  EXPECT_EQ(Ask(ControlRequestText(Action::Activate)), "ok\nProcessing is active.\n");
  EXPECT_EQ(Ask(ControlRequestText(Action::Activate)), "ok\nProcessing is already active.\n");
  EXPECT_EQ(Ask(ControlRequestText(Action::Deactivate)), "ok\nProcessing is inactive.\n");
  EXPECT_EQ(engine.calls, "AD");
  Protect(0xFFFFFFFF);
  EXPECT_EQ(ParseControlReply(Ask(ControlRequestText(Action::Activate))).kind,
            ControlReply::Kind::NeedsPassword);
  EXPECT_EQ(ParseControlReply(Ask(ControlRequestText(Action::Activate, "geheim \xC3\xA4"))).kind,
            ControlReply::Kind::Refused);
  EXPECT_EQ(engine.calls, "AD");
  // The operator types UTF-8; the password is kept in Windows-1252.
  EXPECT_EQ(Ask(ControlRequestText(Action::Activate, "Geheim \xC3\xA4")), "ok\nProcessing is active.\n");
  // Status and clearing need no right; without the activation bit no password is asked.
  EXPECT_EQ(ParseControlReply(Ask(ControlRequestText(Action::Status))).kind, ControlReply::Kind::Ok);
  Protect(~(1u << kRightActivate));
  EXPECT_EQ(Ask(ControlRequestText(Action::Deactivate)), "ok\nProcessing is inactive.\n");
  EXPECT_EQ(engine.calls, "ADAD");
}

TEST_F(ControlRequestTest, StatusClearAndWrongRequests) {
  engine.log.Write("old line\n");
  mainLoop.Activate();
  const ControlReply status = ParseControlReply(Ask("status\n"));
  EXPECT_EQ(status.kind, ControlReply::Kind::Ok);
  EXPECT_EQ(status.text, "Processing: active\nTotal messages: 3\nSources (open):\n  none\n");
  EXPECT_EQ(Ask("clear\n"), "ok\nThe log is cleared.\n");
  EXPECT_EQ(engine.log.Line(0).text, "");
  for (const char* wrong : {"", "front", "reboot\n", "activate\nsomething else\n"})
    EXPECT_EQ(ParseControlReply(Ask(wrong)).kind, ControlReply::Kind::Error) << wrong;
  EXPECT_EQ(ParseControlReply("garbage").kind, ControlReply::Kind::Error);
}

TEST(SingleInstanceTest, RequestsGetRepliesAndFrontNeedsNone) {
  testing::TempFolder folder;
  EventLoop loop;
  SingleInstance first("C", folder.Path());
  int fronts = 0;
  ASSERT_TRUE(first.Listen(loop, [&] { ++fronts; loop.Quit(0); },
                           [](const std::string& request) { return "got " + request; }));
  std::string reply, error;
  std::thread client([&] {
    reply = SingleInstance::Request("C", std::string(3000, 'x'), error, folder.Path()).value_or("");
    SingleInstance second("C", folder.Path());
    second.AskFirstToFront();
  });
  loop.Run();
  client.join();
  EXPECT_EQ(reply, "got " + std::string(3000, 'x')) << error;
  EXPECT_EQ(fronts, 1);
  EXPECT_FALSE(SingleInstance::Request("D", "status\n", error, folder.Path()));
  EXPECT_NE(error.find("no running instance"), std::string::npos) << error;
}

}  // namespace
}  // namespace meldrix
