#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/E2eHarness.h"

namespace meldrix::testing {
namespace {

namespace fs = std::filesystem;

// A service and an operator's shell see different runtime folders; the
// configuration alone decides. The first instance holds the serial port, so
// a second that ran would fail to open it and switch AutoActivate off.
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

  const std::string otherRuntime = setup.File("other-run");
  fs::create_directories(otherRuntime);
  MeldrixProcess second(setup.DataFolder(), otherRuntime, {}, "second");
  EXPECT_EQ(second.WaitForExit(), 1) << second.Output();
  EXPECT_NE(second.Errors().find("another process uses the configuration"), std::string::npos)
      << second.Errors();
  EXPECT_EQ(ReadFile(setup.ConfigPath()), before);

  // The first still works, and once it has ended the next one may start.
  ASSERT_TRUE(panel.Write("FIRE hall 1\r\n"));
  EXPECT_TRUE(setup.WaitForCommand("FIRE hall 1")) << first.Output();
  EXPECT_EQ(first.Stop(), 0);
  auto checks = [&] {
    size_t n = 0;
    for (const auto& line : setup.Korvane().Journal()) n += line == "[check(Meldrix)]";
    return n;
  };
  const size_t checksBefore = checks();
  MeldrixProcess third(setup.DataFolder(), otherRuntime, {}, "third");
  EXPECT_TRUE(WaitUntil([&] { return checks() > checksBefore; })) << third.Errors();
  EXPECT_EQ(third.Stop(), 0);
}

// Two starting folders whose "CfgPath" names one configuration folder share
// that configuration, and so its lock.
TEST(SingleConfigurationE2eTest, StartingFoldersPointingAtOneConfigurationShareTheLock) {
  E2eSetup setup;
  const std::string shared = setup.File("shared");
  const std::string startA = setup.File("a"), startB = setup.File("b");
  for (const auto& folder : {shared, startA, startB}) fs::create_directories(folder);
  for (const auto& start : {startA, startB})
    WriteFile(start + "/meldrix.cfg", "[Settings]\nCfgPath=" + shared + "\n");
  WriteFile(shared + "/meldrix.cfg", "[Settings]\nAutoActivate=0\n");
  MeldrixProcess first(startA, setup.File("run-a"), {}, "first");
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(shared + "/meldrix.cfg.lock"); }))
      << first.Errors();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  MeldrixProcess second(startB, setup.File("run-b"), {}, "second");
  EXPECT_EQ(second.WaitForExit(), 1) << second.Errors();
  EXPECT_TRUE(first.Running());
  EXPECT_EQ(first.Stop(), 0);
}

}  // namespace
}  // namespace meldrix::testing
