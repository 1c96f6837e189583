// The program as a service: it reports to systemd through $NOTIFY_SOCKET, an
// operator controls the running instance with the control switches, and an
// installed copy runs without the source tree.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/Password.h"
#include "e2e/E2eHarness.h"
#include "support/DatagramSink.h"

namespace meldrix::testing {
namespace {

namespace fs = std::filesystem;

struct ClientResult {
  int status = -1;
  std::string out, err;
};

// "meldrix <arguments>" run to its end, `input` on standard input.
ClientResult RunClient(const E2eSetup& setup, const std::vector<std::string>& arguments,
                       const std::string& input = "") {
  static int counter = 0;
  const std::string base = setup.File("client-" + std::to_string(counter++));
  WriteFile(base + ".in", input);
  std::string command = "exec \"$0\"";
  for (std::size_t i = 0; i < arguments.size(); ++i) command += " \"$" + std::to_string(i + 1) + "\"";
  command += " < '" + base + ".in'";
  std::vector<std::string> args{"/bin/sh", "-c", command, MELDRIX_BUILD_DIR "/meldrix"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  ChildOptions options;
  options.environment = MeldrixEnvironment(setup.DataFolder(), setup.RuntimeFolder());
  options.stdoutFile = base + ".out";
  options.stderrFile = base + ".err";
  ChildProcess client(args, options);
  ClientResult result;
  result.status = client.WaitForExit().value_or(-1);
  result.out = ReadFile(base + ".out");
  result.err = ReadFile(base + ".err");
  return result;
}

TEST(ServiceE2eTest, ReportsToSystemdAndObeysTheOperator) {
  E2eSetup setup;
  CMeldrixRights rights;
  rights.SetPassword("alarm");
  setup.WriteConfig("[Settings]\nAutoActivate=0\nLanguage=1\nPassword=" + rights.Encode() + "\n" +
                    setup.DropSource() + "[Message1]\nName=All\nReceiver=Brigade\nLeftTrigger=\n",
                    "Site1");
  DatagramSink notify(setup.File("notify"));
  auto environment = MeldrixEnvironment(setup.DataFolder(), setup.RuntimeFolder());
  environment.push_back("NOTIFY_SOCKET=" + notify.Path());
  environment.push_back("WATCHDOG_USEC=200000");
  LoggedProcess meldrix("meldrix", {"-HIDE", "Site1"}, environment, setup.File("meldrix"));
  ASSERT_TRUE(notify.WaitFor("READY=1")) << notify.All() << meldrix.Errors();
  ASSERT_TRUE(notify.WaitFor("STATUS=Processing inactive; Total messages: 0")) << notify.All();
  ASSERT_TRUE(notify.WaitFor("WATCHDOG=1")) << notify.All();

  // Another instance name has nobody to answer; the right one answers.
  EXPECT_EQ(RunClient(setup, {"--status"}).status, 1);
  ClientResult status = RunClient(setup, {"--status", "Site1"});
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_NE(status.out.find("Processing: inactive\n"), std::string::npos) << status.out;
  EXPECT_NE(status.out.find("Drop"), std::string::npos) << status.out;

  // Activation is protected: no password, a wrong one, then the right one.
  ClientResult refused = RunClient(setup, {"--activate", "Site1"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("password"), std::string::npos) << refused.err;
  refused = RunClient(setup, {"--activate", "Site1"}, "wrong\n");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("incorrect"), std::string::npos) << refused.err;
  ClientResult activated = RunClient(setup, {"Site1", "--activate"}, "alarm\n");
  EXPECT_EQ(activated.status, 0) << activated.err << meldrix.Errors();
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]")) << meldrix.Errors();
  setup.DropFile("in/a.txt", "FIRE hall 3\r\n");
  ASSERT_TRUE(setup.WaitForCommand("FIRE hall 3")) << meldrix.Output();
  EXPECT_TRUE(notify.WaitFor("STATUS=Processing active; Total messages: 1, Sent messages: 1"))
      << notify.All();
  EXPECT_NE(RunClient(setup, {"--status", "Site1"}).out.find("Processing: active\n"), std::string::npos);

  EXPECT_EQ(RunClient(setup, {"--deactivate", "Site1"}, "alarm\n").status, 0);
  EXPECT_TRUE(notify.WaitFor("STATUS=Processing inactive; Total messages: 1")) << notify.All();
  EXPECT_EQ(RunClient(setup, {"--clear", "Site1"}).status, 0);
  EXPECT_EQ(meldrix.Stop(), 0);
  EXPECT_TRUE(notify.WaitFor("STOPPING=1")) << notify.All();
}

TEST(ServiceE2eTest, HelpVersionAndWrongSwitches) {
  E2eSetup setup;
  const ClientResult help = RunClient(setup, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--status"), std::string::npos);
  EXPECT_EQ(RunClient(setup, {"--version"}).out.rfind("meldrix ", 0), 0u);
  for (const char* wrong : {"--bogus", "-bogus", "/HIDEME"}) {
    const ClientResult result = RunClient(setup, {"-HIDE", wrong});
    EXPECT_EQ(result.status, 2) << wrong;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
  EXPECT_EQ(RunClient(setup, {"--status", "--clear"}).status, 2);
}

// The installed program runs with no source or build tree in reach: its
// string tables are inside it, its data folder comes from $MELDRIX_DATA.
TEST(ServiceE2eTest, InstalledProgramRunsWithoutTheSourceTree) {
  E2eSetup setup;
  const std::string prefix = setup.File("prefix");
  ChildOptions quiet;
  quiet.stdoutFile = setup.File("install.out");
  quiet.stderrFile = setup.File("install.err");
  ChildProcess install({"/usr/bin/env", "cmake", "--install", MELDRIX_BUILD_DIR, "--prefix", prefix}, quiet);
  ASSERT_EQ(install.WaitForExit(std::chrono::seconds(120)), 0) << ReadFile(setup.File("install.err"));
  for (const char* file : {"bin/meldrix", "bin/meldrix-dde", "bin/meldrix-trace", "bin/korvane-stub",
                           "share/meldrix/program.tsv", "share/meldrix/help/en",
                           "share/doc/meldrix/examples/meldrix.cfg",
                           "lib/systemd/system/meldrix@.service"})
    EXPECT_TRUE(fs::exists(prefix + "/" + file)) << file;
  EXPECT_NE(ReadFile(prefix + "/lib/systemd/system/meldrix@.service")
                .find("ExecStart=" + prefix + "/bin/meldrix -HIDE %i\n"),
            std::string::npos);
  // Man pages are built where scdoc is there.
  if (fs::exists(MELDRIX_BUILD_DIR "/man/meldrix.1.gz")) {
    EXPECT_TRUE(fs::exists(prefix + "/share/man/man1/meldrix.1.gz"));
  }

  setup.WriteConfig("[Settings]\nAutoActivate=1\nLanguage=1\n" + setup.DropSource() +
                    "[Message1]\nName=All\nReceiver=Brigade\nLeftTrigger=\n");
  const std::string work = setup.File("work");
  fs::create_directories(work);
  std::vector<std::string> environment =
      EnvironmentWith({"MELDRIX_DATA=" + setup.DataFolder(), "MELDRIX_RUNTIME_DIR=" + setup.RuntimeFolder(),
                       "MELDRIX_DDE_DIR=" + setup.RuntimeFolder() + "/dde"});
  std::vector<std::string> command{"/bin/sh", "-c", "cd \"$0\" && exec \"$1\" -HIDE", work,
                                   prefix + "/bin/meldrix"};
  ChildOptions options;
  options.environment = environment;
  options.stdoutFile = setup.File("installed.out");
  options.stderrFile = setup.File("installed.err");
  ChildProcess meldrix(command, options);
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]")) << ReadFile(setup.File("installed.err"));
  setup.DropFile("in/a.txt", "FIRE hall 3\r\n");
  ASSERT_TRUE(setup.WaitForCommand("FIRE hall 3"));
  EXPECT_TRUE(WaitUntil([&] {
    return ReadFile(setup.File("installed.out")).find("Message to Brigade: FIRE hall 3") != std::string::npos;
  })) << ReadFile(setup.File("installed.out"));
  EXPECT_EQ(meldrix.Stop(), 0);
}

}  // namespace
}  // namespace meldrix::testing
