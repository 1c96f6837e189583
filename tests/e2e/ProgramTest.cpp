#include <fcntl.h>
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "e2e/E2eHarness.h"

namespace meldrix::testing {
namespace {

namespace fs = std::filesystem;

// The raw bytes of a serial line reaching an output are the protocol tests'
// business, with binary telegrams.
TEST(ProgramE2eTest, SerialLineReachesKorvaneAndTheDeviceMayGoAway) {
  E2eSetup setup;
  PseudoTerminal panel;
  setup.WriteConfig("[Settings]\nAutoActivate=1\nLanguage=1\n[Ports]\nCOM2=" + panel.SlavePath() +
                    "\n[InSource1]\nName=Panel\nSource=1\nPort=1\nBaud=9600\nMode=0\n"
                    "[Message1]\nName=Fire\nReceiver=Brigade\nLeftTrigger=FIRE\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]")) << meldrix.Output() << meldrix.Errors();
  ASSERT_TRUE(panel.Write("FIRE hall 3\r\n"));
  ASSERT_TRUE(setup.WaitForCommand("FIRE hall 3")) << meldrix.Output() << meldrix.Errors();
  EXPECT_EQ(setup.SentCommands(), std::vector<std::string>{"[send(*|Brigade|FIRE hall 3|||||)]"});
  // The device goes away while active: the program neither ends in the polls
  // that follow nor stops serving (it still answers for its counters).
  panel.Close();
  EXPECT_FALSE(meldrix.WaitForExit(std::chrono::milliseconds(300)).has_value()) << meldrix.Errors();
  meldrix.Signal(SIGUSR1);
  EXPECT_TRUE(WaitUntil([&] { return meldrix.OutputContains("Total messages: 1, "); })) << meldrix.Output();
  EXPECT_EQ(meldrix.Stop(), 0);
}

// Lines of dropped files reach the output unchanged and Korvane in order, the
// message's Text expanded: fields of the line, the source's name, a function,
// a value kept from the line before, and the receivers taken from a field.
TEST(ProgramE2eTest, DroppedFilesAreReadInOrderExpandedAndRemoved) {
  E2eSetup setup;
  setup.WriteConfig("[Settings]\nAutoActivate=1\n" + setup.DropSource("OutId=1\n") +
                    "[OutDest1]\nName=Copy\nId=1\nDest=2\nFile=" + setup.File("copy.txt") + "\n"
                    "[Message1]\nName=All\nReceiver={{$MSGFIELD[1]}}\nLeftTrigger=\n"
                    "Text=#{{n := n + 1; n}} {{UPPERCASE($MSGFIELD[2])}} via {{$INPORT}}"
                    " ({{MID($MESSAGE, 1, 2)}}){{1 +}}|end\n");
  setup.DropFile("in/a.txt", "0815;fire\r\n4711;smoke\r\n");
  setup.DropFile("in/b.txt", "0815;water\r\n4711;gas\r\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {});
  ASSERT_TRUE(WaitUntil([&] {
    return ReadFile(setup.File("copy.txt")) == "0815;fire\r\n4711;smoke\r\n0815;water\r\n4711;gas\r\n";
  })) << ReadFile(setup.File("copy.txt")) << meldrix.Output() << meldrix.Errors();
  ASSERT_TRUE(setup.WaitForCommand("GAS")) << meldrix.Output();
  EXPECT_EQ(setup.SentCommands(), (std::vector<std::string>{"[send(*|0815|#1 FIRE via Drop (08)!end|||||)]",
                                                           "[send(*|4711|#2 SMOKE via Drop (47)!end|||||)]",
                                                           "[send(*|0815|#3 WATER via Drop (08)!end|||||)]",
                                                           "[send(*|4711|#4 GAS via Drop (47)!end|||||)]"}));
  EXPECT_FALSE(fs::exists(setup.File("in/a.txt")));
  EXPECT_FALSE(fs::exists(setup.File("in/b.txt")));
  EXPECT_EQ(meldrix.Stop(), 0);
}

TEST(ProgramE2eTest, SecondInstanceWithSameParametersExitsOne) {
  E2eSetup setup;
  setup.WriteConfig("[Settings]\nAutoActivate=0\nLanguage=1\n");
  setup.WriteConfig("[Settings]\nAutoActivate=0\n", "B");
  MeldrixProcess first(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"}, "first");
  ASSERT_TRUE(setup.WaitForStartUp());
  MeldrixProcess second(setup.DataFolder(), setup.RuntimeFolder(), {"/hide"}, "second");
  EXPECT_EQ(second.WaitForExit(), 1);
  EXPECT_NE(second.Errors().find("already running"), std::string::npos) << second.Errors();
  EXPECT_TRUE(WaitUntil([&] { return first.OutputContains("front"); })) << first.Output();
  MeldrixProcess other(setup.DataFolder(), setup.RuntimeFolder(), {"B"}, "other");
  ASSERT_TRUE(setup.WaitForStartUp("B")) << other.Errors();
  EXPECT_FALSE(other.WaitForExit(std::chrono::milliseconds(0)).has_value()) << other.Errors();
  EXPECT_EQ(other.Stop(), 0);
  EXPECT_EQ(first.Stop(), 0);
}

TEST(ProgramE2eTest, SourceThatCannotOpenTurnsAutoActivateOff) {
  E2eSetup setup;
  setup.WriteConfig("[Settings]\nAutoActivate=1\nLanguage=1\n"
                    "[Ports]\nCOM1=" + setup.File("no-such-device") + "\n"
                    "[InSource1]\nName=Panel\nSource=1\nPort=0\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {});
  ASSERT_TRUE(WaitUntil([&] {
    return ReadFile(setup.ConfigPath()).find("AutoActivate=0") != std::string::npos;
  })) << meldrix.Output() << meldrix.Errors();
  EXPECT_TRUE(WaitUntil([&] {
    return meldrix.OutputContains("Could not open message source \"Panel=Port COM1: 9600 baud\"");
  })) << meldrix.Output();
  EXPECT_NE(meldrix.Errors().find("(COM1) could not be opened"), std::string::npos);
  EXPECT_EQ(meldrix.Stop(), 0);
}

TEST(ProgramE2eTest, OutsideEditAndHangupReloads) {
  E2eSetup setup;
  setup.WriteConfig("[Settings]\nAutoActivate=1\n" + setup.DropSource() +
                    "[Message1]\nName=All\nReceiver=Old\nLeftTrigger=\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {});
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]")) << meldrix.Output() << meldrix.Errors();
  setup.WriteConfig("[Settings]\nAutoActivate=1\n" + setup.DropSource() +
                    "[Message1]\nName=All\nReceiver=New\nLeftTrigger=\n");
  // A later modification time than the one the program remembers.
  SetFileTime(setup.ConfigPath(), std::time(nullptr) + 10);
  meldrix.Signal(SIGHUP);
  // Reactivation sends another check.
  ASSERT_TRUE(WaitUntil([&] { return setup.Checks() >= 2; })) << meldrix.Output();
  meldrix.Signal(SIGTERM);
  EXPECT_EQ(meldrix.WaitForExit(), 0);
}

// Without a configuration file the defaults hold, German texts among them.
TEST(ProgramE2eTest, MissingConfigurationStartsWithDefaultsAndStopsOnSigint) {
  E2eSetup setup;
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"Nothing"});
  ASSERT_TRUE(setup.WaitForStartUp("Nothing")) << meldrix.Errors();
  meldrix.Signal(SIGUSR1);
  EXPECT_TRUE(WaitUntil([&] { return meldrix.OutputContains("Nachrichten gesamt: 0"); }))
      << meldrix.Output();
  meldrix.Signal(SIGINT);
  EXPECT_EQ(meldrix.WaitForExit(), 0);
}

// A service and an operator's shell see different runtime folders, and may
// start in different folders whose "CfgPath" names one configuration folder:
// the configuration alone decides. The first instance holds the serial port,
// so a second that ran would fail to open it and switch AutoActivate off.
TEST(SingleConfigurationE2eTest, SecondProcessOnTheSameConfigurationExitsWithoutWriting) {
  E2eSetup setup;
  PseudoTerminal panel;
  setup.WriteConfig("[Settings]\nAutoActivate=1\nLanguage=1\n"
                    "[Ports]\nCOM2=" + panel.SlavePath() + "\n"
                    "[InSource1]\nName=Panel\nSource=1\nPort=1\nMode=0\n"
                    "[Message1]\nName=Fire\nReceiver=Brigade\nLeftTrigger=FIRE\n");
  MeldrixProcess first(setup.DataFolder(), setup.RuntimeFolder(), {}, "first");
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]")) << first.Output() << first.Errors();
  const std::string before = ReadFile(setup.ConfigPath());

  const std::string start = setup.File("start"), otherRuntime = setup.File("other-run");
  for (const auto& folder : {start, otherRuntime}) fs::create_directories(folder);
  WriteFile(start + "/meldrix.cfg", "[Settings]\nCfgPath=" + setup.DataFolder() + "\n");
  MeldrixProcess second(start, otherRuntime, {}, "second");
  EXPECT_EQ(second.WaitForExit(), 1) << second.Output();
  EXPECT_NE(second.Errors().find("another process uses the configuration"), std::string::npos)
      << second.Errors();
  EXPECT_EQ(ReadFile(setup.ConfigPath()), before);

  // The first still works, and once it has ended the next one may start.
  ASSERT_TRUE(panel.Write("FIRE hall 1\r\n"));
  EXPECT_TRUE(setup.WaitForCommand("FIRE hall 1")) << first.Output();
  EXPECT_EQ(first.Stop(), 0);
  const std::size_t checksBefore = setup.Checks();
  MeldrixProcess third(start, otherRuntime, {}, "third");
  EXPECT_TRUE(WaitUntil([&] { return setup.Checks() > checksBefore; })) << third.Errors();
  EXPECT_EQ(third.Stop(), 0);
}

TEST(ClosedOutputE2eTest, ProcessingGoesOnWhenTheLogReaderIsGone) {
  E2eSetup setup;
  setup.WriteConfig("[Settings]\nAutoActivate=1\nLanguage=1\n" + setup.DropSource() +
                    "[Message1]\nName=All\nReceiver=Ops\nLeftTrigger=\n");
  // Both files wait when the program starts: the first log lines (activation)
  // are written before any of them is read.
  setup.DropFile("in/a.txt", "first alarm\r\n");
  setup.DropFile("in/b.txt", "second alarm\r\n");
  // Standard output into a pipe whose reader is gone before the first line is
  // written, as in "meldrix | tee log" after tee ended. The child opens the
  // write end while our read end still exists; then both go.
  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
  ChildOptions options;
  options.environment = MeldrixEnvironment(setup.DataFolder(), setup.RuntimeFolder());
  options.stdoutFile = "/proc/self/fd/" + std::to_string(pipeFds[1]);
  options.stderrFile = setup.File("closed.err");
  ChildProcess meldrix({MELDRIX_BUILD_DIR "/meldrix"}, options);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  auto errors = [&] { return ReadFile(setup.File("closed.err")); };
  EXPECT_TRUE(setup.WaitForCommand("first alarm")) << errors();
  EXPECT_TRUE(setup.WaitForCommand("second alarm")) << errors();
  // More log lines (the counters) after the output failed.
  meldrix.Signal(SIGUSR1);
  meldrix.Signal(SIGUSR1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_FALSE(meldrix.WaitForExit(std::chrono::milliseconds(0)).has_value());
  EXPECT_EQ(meldrix.Stop(), 0);
  EXPECT_NE(errors().find("can no longer be written"), std::string::npos) << errors();
}

}  // namespace
}  // namespace meldrix::testing
