#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "e2e/E2eHarness.h"

namespace meldrix::testing {
namespace {

namespace fs = std::filesystem;

std::string SerialSourceConfig(const std::string& device) {
  return "[Settings]\nAutoActivate=1\nLanguage=1\n"
         "[Ports]\nCOM2=" + device + "\n"
         "[InSource1]\nName=Panel\nSource=1\nPort=1\nBaud=9600\nMode=0\nOutId=1\n"
         "[OutDest1]\nName=Copy\nId=1\nDest=2\nFile=COPY\nFileMode=1\n"
         "[Message1]\nName=Fire\nReceiver=Brigade\nLeftTrigger=FIRE\n";
}

TEST(ProgramE2eTest, SerialLineReachesKorvaneAndOutputGetsRawBytes) {
  E2eSetup setup;
  PseudoTerminal panel;
  std::string config = SerialSourceConfig(panel.SlavePath());
  std::string copy = setup.File("copy.bin");
  config.replace(config.find("COPY"), 4, copy);
  setup.WriteConfig(config);
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]")) << meldrix.Output() << meldrix.Errors();
  ASSERT_TRUE(panel.Write("FIRE hall 3\r\n"));
  ASSERT_TRUE(setup.WaitForCommand("FIRE hall 3")) << meldrix.Output() << meldrix.Errors();
  const auto sent = setup.SentCommands("FIRE hall 3");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(sent[0].find("Brigade"), std::string::npos) << sent[0];
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(copy) == "FIRE hall 3\r\n"; }))
      << ReadFile(copy);
  // The device goes away while active: the program neither ends in the polls
  // that follow nor stops serving (it still answers for its counters).
  panel.Close();
  EXPECT_FALSE(meldrix.WaitForExit(std::chrono::milliseconds(300)).has_value()) << meldrix.Errors();
  meldrix.Signal(SIGUSR1);
  EXPECT_TRUE(WaitUntil([&] {
    return meldrix.OutputContains("Total messages: 1, ") || meldrix.OutputContains("Nachrichten gesamt: 1, ");
  })) << meldrix.Output();
  EXPECT_EQ(meldrix.Stop(), 0);
}

TEST(ProgramE2eTest, DroppedFilesAreReadInOrderAndRemoved) {
  E2eSetup setup;
  fs::create_directories(setup.File("in"));
  setup.WriteConfig("[Settings]\nAutoActivate=1\n"
                    "[InSource1]\nName=Drop\nSource=2\nFile=" + setup.File("in/*.txt") +
                    "\nRemoveFile=1\nOutId=1\n"
                    "[OutDest1]\nName=Copy\nId=1\nDest=2\nFile=" + setup.File("copy.txt") + "\n"
                    "[Message1]\nName=All\nReceiver=Ops\nLeftTrigger=\n");
  setup.DropFile("in/a.txt", "first\r\nsecond\r\n");
  setup.DropFile("in/b.txt", "third\r\nfourth\r\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {});
  ASSERT_TRUE(WaitUntil([&] {
    return ReadFile(setup.File("copy.txt")) == "first\r\nsecond\r\nthird\r\nfourth\r\n";
  })) << ReadFile(setup.File("copy.txt")) << meldrix.Output() << meldrix.Errors();
  ASSERT_TRUE(setup.WaitForCommand("fourth")) << meldrix.Output();
  EXPECT_EQ(setup.SentCommands(), (std::vector<std::string>{"[send(*|Ops|first|||||)]", "[send(*|Ops|second|||||)]",
                                                           "[send(*|Ops|third|||||)]", "[send(*|Ops|fourth|||||)]"}));
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
  EXPECT_TRUE(meldrix.Running());
  EXPECT_EQ(meldrix.Stop(), 0);
}

TEST(ProgramE2eTest, OutsideEditAndHangupReloads) {
  E2eSetup setup;
  fs::create_directories(setup.File("in"));
  auto config = [&](const std::string& receiver) {
    setup.WriteConfig("[Settings]\nAutoActivate=1\n[InSource1]\nName=Drop\nSource=2\nFile=" + setup.File("in/*.txt") +
                      "\n[Message1]\nName=All\nReceiver=" + receiver + "\nLeftTrigger=\n");
  };
  config("Old");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {});
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]")) << meldrix.Output() << meldrix.Errors();
  config("NewReceiver");
  // A later modification time than the one the program remembers.
  SetFileTime(setup.ConfigPath(), std::time(nullptr) + 10);
  auto checks = [&] {
    const auto journal = setup.Korvane().Journal();
    return std::count(journal.begin(), journal.end(), "[check(Meldrix)]");
  };
  meldrix.Signal(SIGHUP);
  // Reactivation sends another check.
  ASSERT_TRUE(WaitUntil([&] { return checks() >= 2; })) << meldrix.Output();
  meldrix.Signal(SIGTERM);
  EXPECT_EQ(meldrix.WaitForExit(), 0);
}

// Without a configuration file the defaults hold, German texts among them.
TEST(ProgramE2eTest, MissingConfigurationStartsWithDefaultsAndStopsOnSigint) {
  E2eSetup setup;
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"Nothing"});
  ASSERT_TRUE(setup.WaitForStartUp("Nothing")) << meldrix.Errors();
  EXPECT_TRUE(meldrix.Running()) << meldrix.Errors();
  meldrix.Signal(SIGUSR1);
  EXPECT_TRUE(WaitUntil([&] { return meldrix.OutputContains("Nachrichten gesamt: 0"); }))
      << meldrix.Output();
  meldrix.Signal(SIGINT);
  EXPECT_EQ(meldrix.WaitForExit(), 0);
}

}  // namespace
}  // namespace meldrix::testing
