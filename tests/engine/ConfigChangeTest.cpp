#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ConfigTestSupport.h"
#include "platform/AtomicFile.h"

using namespace meldrix;
using meldrix::profiletest::ProfileConfigFixture;
using meldrix::profiletest::ProfileTempFolder;

namespace {

constexpr long long kBase = 1'700'000'000;  // a fixed point in time (2023)

TEST(ConfigChange, OwnSavesAreNoChangeOutsideWritesAre) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("[Settings]\nAutoActivate=0\n");
  EXPECT_FALSE(doc->CheckConfigChanged());
  doc->m_ShowInMessages = 0;
  ASSERT_TRUE(doc->SaveSettings());
  EXPECT_FALSE(doc->CheckConfigChanged());
  doc->m_Messages.AddNew().m_Name = "M";
  ASSERT_TRUE(doc->SaveMessages());
  EXPECT_FALSE(doc->CheckConfigChanged());

  // An outside edit, even one within the same second (nanosecond times).
  const auto remembered = *doc->GetRememberedConfigTime();
  ProfileTempFolder::Write(fx.paths.configFile, "[Settings]\nAutoActivate=1\n");
  ProfileTempFolder::SetTime(fx.paths.configFile, remembered / 1000000000, (remembered + 1) % 1000000000);
  EXPECT_TRUE(doc->CheckConfigChanged());
  doc->LoadConfiguration();
  EXPECT_FALSE(doc->CheckConfigChanged());
  EXPECT_TRUE(doc->m_AutoActivate);
}

TEST(ConfigChange, AVanishedFileKeepsTheLoadedConfiguration) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("[Message1]\nName=M\n");
  std::filesystem::remove(fx.paths.configFile);
  EXPECT_FALSE(doc->CheckConfigChanged());
  ProfileTempFolder::Write(fx.paths.configFile, "[Message1]\nName=N\n");
  ProfileTempFolder::SetTime(fx.paths.configFile, kBase);
  EXPECT_TRUE(doc->CheckConfigChanged());

  // A missing file loads as the defaults, is not created, and counts as
  // changed once it appears.
  ProfileConfigFixture empty;
  CMeldrixDoc fresh(empty.paths);
  fresh.LoadConfiguration();
  EXPECT_FALSE(std::filesystem::exists(empty.paths.configFile));
  EXPECT_FALSE(fresh.GetRememberedConfigTime().has_value());
  EXPECT_TRUE(fresh.m_InPorts.IsEmpty() && fresh.m_OutPorts.IsEmpty() && fresh.m_Messages.IsEmpty());
  EXPECT_FALSE(fresh.CheckConfigChanged());
  ProfileTempFolder::Write(empty.paths.configFile, "[Settings]\n");
  EXPECT_TRUE(fresh.CheckConfigChanged());
}

TEST(ConfigChange, MasterCopyReplacesTheFileWhenNewerByMoreThanTwoSeconds) {
  ProfileConfigFixture fx;
  ProfileTempFolder master;
  fx.paths.masterFile = master.File("meldrix.cfg");
  auto doc = fx.Load("[Message1]\nName=local\n");
  ProfileTempFolder::SetTime(fx.paths.configFile, kBase);
  doc->RememberConfigTime();

  ProfileTempFolder::Write(fx.paths.masterFile, "[Message1]\nName=master\n");
  ProfileTempFolder::SetTime(fx.paths.masterFile, kBase + 2);  // exactly 2 s: not newer enough
  EXPECT_FALSE(ApplyMasterCopy(fx.paths));
  EXPECT_FALSE(doc->CheckConfigChanged());
  EXPECT_EQ(fx.File(), "[Message1]\nName=local\n");

  ProfileTempFolder::SetTime(fx.paths.masterFile, kBase + 2, 1);
  EXPECT_TRUE(doc->CheckConfigChanged());
  EXPECT_EQ(fx.File(), "[Message1]\nName=master\n");
  // The copy keeps the master's time, so it is not copied again.
  EXPECT_EQ(FileModifiedTimeNs(fx.paths.configFile), FileModifiedTimeNs(fx.paths.masterFile));
  EXPECT_FALSE(ApplyMasterCopy(fx.paths));
  doc->LoadConfiguration();
  EXPECT_EQ(doc->m_Messages[0].m_Name, "master");
  EXPECT_FALSE(doc->CheckConfigChanged());

  // A master copy replaces a missing file too.
  std::filesystem::remove(fx.paths.configFile);
  EXPECT_TRUE(ApplyMasterCopy(fx.paths));
  EXPECT_EQ(fx.File(), "[Message1]\nName=master\n");
}

TEST(ConfigPaths, StartingFileNamesTheFolderAndTheMasterCopy) {
  ProfileTempFolder start, config, master;
  ConfigPaths plain = ConfigPaths::Resolve(start.Path(), "");
  EXPECT_EQ(plain.configFolder, start.Path());
  EXPECT_EQ(plain.configFile, start.File("meldrix.cfg"));
  EXPECT_EQ(plain.masterFile, "");

  ProfileTempFolder::Write(start.File("meldrixB.cfg"), "[Settings]\nCfgPath=" + config.Path() +
                                                    "/\nCfgPath2=" + master.Path() + "\n");
  ConfigPaths b = ConfigPaths::Resolve(start.Path(), "B");
  EXPECT_EQ(b.configFolder, config.Path() + "/");
  EXPECT_EQ(b.configFile, config.File("meldrixB.cfg"));
  EXPECT_EQ(b.masterFile, master.File("meldrixB.cfg"));

  // A relative folder is taken from the starting folder, not the working directory.
  ProfileTempFolder::Write(start.File("meldrixC.cfg"), "[Settings]\nCfgPath=sub\n");
  EXPECT_EQ(ConfigPaths::Resolve(start.Path(), "C").configFile, start.Path() + "/sub/meldrixC.cfg");

  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
}

}  // namespace
