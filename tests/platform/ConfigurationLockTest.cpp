#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/PrivateProfileTempFolder.h"
#include "platform/SingleInstance.h"
#include "support/RunAsUser.h"

namespace meldrix {
namespace {

using profiletest::ProfileTempFolder;
using Lock = ConfigurationLock;

// flock conflicts between open files also within one process, so two locks
// here stand for two processes.
TEST(ConfigurationLock, OneHolderPerConfigurationFile) {
  ProfileTempFolder folder;
  const std::string file = folder.File("meldrix.cfg");
  ProfileTempFolder::Write(file, "[Settings]\n");
  ASSERT_EQ(::symlink(file.c_str(), folder.File("link.cfg").c_str()), 0);
  {
    Lock first(file);
    ASSERT_EQ(first.State(), Lock::Result::Locked) << first.Error();
    EXPECT_FALSE(first.LocksWholeFolder());
    EXPECT_EQ(Lock(file).State(), Lock::Result::InUse);
    // Through a link, or the file not yet made: the same configuration.
    EXPECT_EQ(Lock(folder.File("link.cfg")).State(), Lock::Result::InUse);
    // Another instance beside it has its own lock.
    EXPECT_EQ(Lock(folder.File("meldrixB.cfg")).State(), Lock::Result::Locked);
    // Replacing the configuration (as every write does) keeps the lock.
    ProfileTempFolder::Write(folder.File("new.cfg"), "[Settings]\nAutoActivate=1\n");
    ASSERT_EQ(::rename(folder.File("new.cfg").c_str(), file.c_str()), 0);
    EXPECT_EQ(Lock(file).State(), Lock::Result::InUse);
  }
  EXPECT_EQ(Lock(file).State(), Lock::Result::Locked);
  EXPECT_EQ(Lock(folder.File("no/such/meldrix.cfg")).State(), Lock::Result::FolderMissing);
}

// Where the lock file cannot be made, the folder is locked; such a holder and
// one with a lock file still exclude each other. The child switches between
// nobody and root with seteuid, so one process plays both.
TEST(ConfigurationLock, FolderWeMayNotWriteFallsBackToTheFolder) {
  const auto nobody = testing::NobodyWhenRoot();
  if (!nobody) GTEST_SKIP() << "needs root and the account nobody";
  ProfileTempFolder folder;
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
  const std::string file = folder.File("meldrix.cfg");
  ProfileTempFolder::Write(file, "[Settings]\n");
  EXPECT_EQ(testing::RunAs(std::nullopt, {}, [&](std::string&) {
              auto asNobody = [&] { return ::setegid(nobody->gid) == 0 && ::seteuid(nobody->uid) == 0; };
              auto asRoot = [&] { return ::seteuid(0) == 0 && ::setegid(0) == 0; };
              if (!asNobody()) return 10;
              {
                Lock byNobody(file);
                if (byNobody.State() != Lock::Result::Locked || !byNobody.LocksWholeFolder()) return 11;
                if (Lock(file).State() != Lock::Result::InUse) return 12;
                if (!asRoot()) return 13;
                // Root makes the lock file but still finds the folder taken.
                if (Lock(file).State() != Lock::Result::InUse) return 14;
              }
              Lock byRoot(file);
              if (byRoot.State() != Lock::Result::Locked || byRoot.LocksWholeFolder()) return 15;
              if (!asNobody()) return 16;
              // Now the lock file exists: nobody opens it for reading and waits its turn.
              Lock late(file);
              return late.State() != Lock::Result::InUse || late.LocksWholeFolder() ? 17 : 0;
            }),
            0)
      << "the step that failed";
}

}  // namespace
}  // namespace meldrix
