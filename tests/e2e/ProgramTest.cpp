#include <gtest/gtest.h>

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
  bool sent = false;
  for (const auto& line : setup.Korvane().Journal())
    sent = sent || (line.rfind("[send(", 0) == 0 && line.find("Brigade") != std::string::npos &&
                    line.find("FIRE hall 3") != std::string::npos);
  EXPECT_TRUE(sent);
  EXPECT_TRUE(WaitUntil([&] { return ReadFileText(copy) == "FIRE hall 3\r\n"; }))
      << ReadFileText(copy);

  // The device goes away while active: the program keeps running.
  panel.Close();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(meldrix.Running());
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
  WriteFileText(setup.File("in/.a.tmp"), "first\r\nsecond\r\n");
  fs::rename(setup.File("in/.a.tmp"), setup.File("in/a.txt"));
  WriteFileText(setup.File("in/.b.tmp"), "third\r\nfourth\r\n");
  fs::rename(setup.File("in/.b.tmp"), setup.File("in/b.txt"));
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {});
  ASSERT_TRUE(WaitUntil([&] {
    return ReadFileText(setup.File("copy.txt")) == "first\r\nsecond\r\nthird\r\nfourth\r\n";
  })) << ReadFileText(setup.File("copy.txt")) << meldrix.Output() << meldrix.Errors();
  ASSERT_TRUE(setup.WaitForCommand("fourth")) << meldrix.Output();
  std::vector<std::string> texts;
  for (const auto& line : setup.Korvane().Journal())
    if (line.rfind("[send(", 0) == 0) texts.push_back(line);
  ASSERT_EQ(texts.size(), 4u);
  const char* expected[] = {"first", "second", "third", "fourth"};
  for (int i = 0; i < 4; ++i) EXPECT_NE(texts[i].find(expected[i]), std::string::npos) << texts[i];
  EXPECT_FALSE(fs::exists(setup.File("in/a.txt")));
  EXPECT_FALSE(fs::exists(setup.File("in/b.txt")));
  EXPECT_EQ(meldrix.Stop(), 0);
}

TEST(ProgramE2eTest, SecondInstanceWithSameParametersExitsOne) {
  E2eSetup setup;
  setup.WriteConfig("[Settings]\nAutoActivate=0\nLanguage=1\n");
  setup.WriteConfig("[Settings]\nAutoActivate=0\n", "B");
  MeldrixProcess first(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"}, "first");
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(setup.RuntimeFolder() + "/MeldrixAppClass.sock"); }));
  MeldrixProcess second(setup.DataFolder(), setup.RuntimeFolder(), {"/hide"}, "second");
  EXPECT_EQ(second.WaitForExit(), 1);
  EXPECT_NE(second.Errors().find("already running"), std::string::npos) << second.Errors();
  EXPECT_TRUE(WaitUntil([&] { return first.OutputContains("front"); })) << first.Output();

  MeldrixProcess other(setup.DataFolder(), setup.RuntimeFolder(), {"B"}, "other");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
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
    return ReadFileText(setup.ConfigPath()).find("AutoActivate=0") != std::string::npos;
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
  setup.WriteConfig("[Settings]\nAutoActivate=1\n"
                    "[InSource1]\nName=Drop\nSource=2\nFile=" + setup.File("in/*.txt") + "\n"
                    "[Message1]\nName=All\nReceiver=Old\nLeftTrigger=\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {});
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]")) << meldrix.Output() << meldrix.Errors();
  // A later modification time than the one the program remembers.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  setup.WriteConfig("[Settings]\nAutoActivate=1\n"
                    "[InSource1]\nName=Drop\nSource=2\nFile=" + setup.File("in/*.txt") + "\n"
                    "[Message1]\nName=All\nReceiver=NewReceiver\nLeftTrigger=\n");
  auto checks = [&] {
    int n = 0;
    for (const auto& line : setup.Korvane().Journal()) n += line == "[check(Meldrix)]";
    return n;
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
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(meldrix.Running()) << meldrix.Errors();
  meldrix.Signal(SIGUSR1);
  EXPECT_TRUE(WaitUntil([&] { return meldrix.OutputContains("Nachrichten gesamt: 0"); }))
      << meldrix.Output();
  meldrix.Signal(SIGINT);
  EXPECT_EQ(meldrix.WaitForExit(), 0);
}

}  // namespace
}  // namespace meldrix::testing
