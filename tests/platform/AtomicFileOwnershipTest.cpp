#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "platform/PrivateProfile.h"
#include "platform/PrivateProfileTempFolder.h"
#include "support/RunAsUser.h"

namespace meldrix {
namespace {

using profiletest::ProfileTempFolder;

using testing::Account;
using testing::NobodyWhenRoot;
using testing::RunAs;

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

// Without root the file stays ours; with root it belongs to nobody.
TEST(AtomicFileOwnership, WriteKeepsOwnerGroupAndModeAlsoThroughALink) {
  const Account owner = NobodyWhenRoot().value_or(Account{::geteuid(), ::getegid()});
  ProfileTempFolder folder;
  const std::string file = folder.File("meldrix.cfg");
  const std::string link = folder.File("link.cfg");
  ProfileTempFolder::Write(file, "[Settings]\r\nAutoActivate=1\r\n");
  ASSERT_EQ(::chown(file.c_str(), owner.uid, owner.gid), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);

  ASSERT_TRUE(PrivateProfile::WriteString(file, "Settings", "AutoActivate", "0"));
  ASSERT_TRUE(PrivateProfile::WriteString(link, "Settings", "Language", "1"));
  const struct stat st = StatOf(file);
  EXPECT_EQ(st.st_uid, owner.uid);
  EXPECT_EQ(st.st_gid, owner.gid);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_TRUE(S_ISLNK(StatOf(link).st_mode));
  EXPECT_EQ(ProfileTempFolder::Read(file), "[Settings]\r\nAutoActivate=0\r\nLanguage=1\r\n");
}

// A folder owned by root (0755) holding a file that nobody owns: nobody
// cannot make a temporary file beside it, but may write the file itself.
TEST(AtomicFileOwnership, FileInAFolderWeMayNotWriteIsWrittenInPlace) {
  const auto nobody = NobodyWhenRoot();
  if (!nobody) GTEST_SKIP() << "needs root and the account nobody";
  ProfileTempFolder folder;
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
  const std::string file = folder.File("meldrix.cfg");
  const std::string foreign = folder.File("foreign.cfg");
  ProfileTempFolder::Write(file, "; kept\n[Settings]\nAutoActivate=1\nMaxMessageLength=4000\n");
  ProfileTempFolder::Write(foreign, "[Settings]\nAutoActivate=1\n");
  ASSERT_EQ(::chown(file.c_str(), nobody->uid, nobody->gid), 0);
  const ino_t inode = StatOf(file).st_ino;

  std::string report;
  EXPECT_EQ(RunAs(*nobody, {}, [&](std::string& text) {
              const bool ok = PrivateProfile::WriteString(file, "Settings", "AutoActivate", "0");
              // A file nobody may not write: the caller learns the file and the reason.
              if (PrivateProfile::WriteString(foreign, "Settings", "AutoActivate", "0")) return 2;
              text = PrivateProfile::LastError();
              return ok ? 0 : 1;
            }, &report),
            0)
      << report;
  // Shorter than before: the old tail is cut off.
  EXPECT_EQ(ProfileTempFolder::Read(file), "; kept\n[Settings]\nAutoActivate=0\nMaxMessageLength=4000\n");
  EXPECT_EQ(StatOf(file).st_ino, inode);
  EXPECT_EQ(StatOf(file).st_uid, nobody->uid);
  EXPECT_EQ(report, foreign + ": Permission denied");
  EXPECT_EQ(ProfileTempFolder::Read(foreign), "[Settings]\nAutoActivate=1\n");
}

// A member of the file's group may write it but may not give a new file to
// its owner: the file is written in place and stays with its owner.
TEST(AtomicFileOwnership, GroupMemberDoesNotTakeTheFileOver) {
  const auto nobody = NobodyWhenRoot();
  if (!nobody) GTEST_SKIP() << "needs root and the account nobody";
  ProfileTempFolder folder;
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0777), 0);
  const std::string file = folder.File("meldrix.cfg");
  ProfileTempFolder::Write(file, "[Settings]\nAutoActivate=1\n");
  const gid_t shared = nobody->gid;
  ASSERT_EQ(::chown(file.c_str(), 0, shared), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0664), 0);
  // nobody's primary group is something else here, the shared group a supplementary one.
  const Account member{nobody->uid, shared == 1 ? 2u : 1u};
  EXPECT_EQ(RunAs(member, {shared}, [&](std::string&) {
              return PrivateProfile::WriteString(file, "Settings", "AutoActivate", "0") ? 0 : 1;
            }),
            0);
  EXPECT_EQ(ProfileTempFolder::Read(file), "[Settings]\nAutoActivate=0\n");
  const struct stat st = StatOf(file);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_gid, shared);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
}

}  // namespace
}  // namespace meldrix
