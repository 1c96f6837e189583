#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/PrivateProfile.h"
#include "platform/PrivateProfileTempFolder.h"

namespace meldrix {
namespace {

using profiletest::ProfileTempFolder;

struct Account {
  uid_t uid;
  gid_t gid;
};

// "nobody" with its own primary group; the tests that give files away need root.
std::optional<Account> Nobody() {
  const passwd* pw = ::getpwnam("nobody");
  if (!pw || ::geteuid() != 0) return std::nullopt;
  return Account{pw->pw_uid, pw->pw_gid};
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

// Runs `work` in a child process as `account` (with `groups` as its
// supplementary groups); the child's exit status is what `work` returns, and
// whatever it writes into `report` comes back.
int RunAs(const Account& account, std::vector<gid_t> groups,
          const std::function<int(std::string& report)>& work, std::string* report = nullptr) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(account.gid) != 0 ||
        ::setuid(account.uid) != 0)
      ::_exit(99);
    std::string text;
    const int status = work(text);
    if (::write(fds[1], text.data(), text.size()) < 0) ::_exit(98);
    ::_exit(status);
  }
  ::close(fds[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (report) *report = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(AtomicFileOwnership, WriteKeepsOwnerGroupAndModeAlsoThroughALink) {
  const auto nobody = Nobody();
  if (!nobody) GTEST_SKIP() << "needs root and the account nobody";
  ProfileTempFolder folder;
  const std::string file = folder.File("meldrix.cfg");
  const std::string link = folder.File("link.cfg");
  ProfileTempFolder::Write(file, "[Settings]\r\nAutoActivate=1\r\n");
  ASSERT_EQ(::chown(file.c_str(), nobody->uid, nobody->gid), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);

  ASSERT_TRUE(PrivateProfile::WriteString(file, "Settings", "AutoActivate", "0"));
  ASSERT_TRUE(PrivateProfile::WriteString(link, "Settings", "Language", "1"));
  const struct stat st = StatOf(file);
  EXPECT_EQ(st.st_uid, nobody->uid);
  EXPECT_EQ(st.st_gid, nobody->gid);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_TRUE(S_ISLNK(StatOf(link).st_mode));
  EXPECT_EQ(ProfileTempFolder::Read(file), "[Settings]\r\nAutoActivate=0\r\nLanguage=1\r\n");
}

// A folder owned by root (0755) holding a file that nobody owns: nobody
// cannot make a temporary file beside it, but may write the file itself.
TEST(AtomicFileOwnership, FileInAFolderWeMayNotWriteIsWrittenInPlace) {
  const auto nobody = Nobody();
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
  const auto nobody = Nobody();
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
