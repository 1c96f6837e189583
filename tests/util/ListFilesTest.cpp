#include "util/ListFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempFolder.h"
#include "support/RunAsUser.h"

using namespace meldrix;
using ::testing::ElementsAre;
namespace fs = std::filesystem;

namespace {

class ListFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"b.txt", "a.txt", "C.TXT", "note.log", "noext", ".hidden.txt",
                             "sub/s1.txt", "sub/deep/d.txt", "sub/deep/d.log", "zsub/z.txt",
                             ".git/g.txt", "dir.txt/inner.txt"}) {
      fs::create_directories((root_ / name).parent_path());
      std::ofstream(root_ / name) << "x";
    }
    fs::create_directory_symlink(root_ / "sub", root_ / "linkdir");
    fs::create_symlink(root_ / "a.txt", root_ / "link.txt");
    fs::create_symlink(root_ / "missing", root_ / "dangling.txt");
    ASSERT_EQ(mkfifo((root_ / "pipe.txt").c_str(), 0600), 0);
  }
  std::string Pattern(const std::string& filePart) const { return (root_ / filePart).string(); }
  meldrix::testing::TempFolder folder_;
  fs::path root_ = folder_.Path();
};

}  // namespace

TEST_F(ListFilesTest, OptionsAndAttributeMasks) {
  struct Row { const char* pattern; unsigned options, mask; std::vector<std::string> names; };
  const Row rows[] = {
      // Case-blind like the Windows file search; no directories ("dir.txt"), no
      // pipes, no dangling links.
      {"*.txt", 0, 0, {".hidden.txt", "C.TXT", "a.txt", "b.txt", "link.txt"}},
      {"?.TXT", kListFullPath, 0, {"C.TXT", "a.txt", "b.txt"}},
      {"no*.*", 0, 0, {"noext", "note.log"}},  // "*.*" matches names without extension
      // Recursion skips links and hidden folders.
      {"*.txt", kListRecursive | kListFullPath, 0,
       {".hidden.txt", "C.TXT", "a.txt", "b.txt", "link.txt", "dir.txt/inner.txt", "sub/s1.txt", "sub/deep/d.txt",
        "zsub/z.txt"}},
      {"*.txt", kListRecursive, kAttrHidden, {".hidden.txt"}}, {"*.txt", 0, kAttrReparsePoint, {"link.txt"}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> names{"stale"}, expected;
    for (const std::string& name : row.names) expected.push_back(row.options & kListFullPath ? Pattern(name) : name);
    std::error_code error;
    EXPECT_EQ(ListFiles(Pattern(row.pattern), names, row.options | kListClear, row.mask, &error), expected.size());
    EXPECT_EQ(names, expected) << row.pattern;
    EXPECT_FALSE(error) << row.pattern;
  }
  // Without the clear option the array grows.
  std::vector<std::string> names{"kept"};
  EXPECT_EQ(ListFiles(Pattern("noext"), names, kListFullPath, 0), 1u);
  EXPECT_THAT(names, ElementsAre("kept", Pattern("noext")));
}

TEST_F(ListFilesTest, BackslashPatternsAndWorkingFolder) {
  std::vector<std::string> names;
  const std::string windowsStyle = root_.string() + "\\sub\\*.txt";
  EXPECT_EQ(ListFiles(windowsStyle, names, kListFullPath, 0), 1u);
  EXPECT_THAT(names, ElementsAre(Pattern("sub/s1.txt")));
  const fs::path old = fs::current_path();
  fs::current_path(root_ / "sub" / "deep");
  names.clear();
  ListFiles("*.*", names, kListFullPath, 0);
  fs::current_path(old);
  EXPECT_THAT(names, ElementsAre("d.log", "d.txt"));
}

TEST_F(ListFilesTest, MissingFolderIsReported) {
  std::vector<std::string> names{"kept"};
  std::error_code error;
  EXPECT_EQ(ListFiles(Pattern("nothere/*.txt"), names, 0, 0, &error), 0u);
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
  EXPECT_THAT(names, ElementsAre("kept"));
  EXPECT_EQ(ListFiles(Pattern("a.txt/*"), names, 0, 0, &error), 0u);
  EXPECT_EQ(error, std::errc::not_a_directory);
}

TEST_F(ListFilesTest, UnreadableSubfolderIsReportedAndTheRestListed) {
  // Root reads every folder: the listing runs as nobody then, who owns the
  // tree but may not read "sub".
  const auto nobody = meldrix::testing::NobodyWhenRoot();
  if (nobody) {
    ::lchown(root_.c_str(), nobody->uid, nobody->gid);
    for (const auto& entry : fs::recursive_directory_iterator(root_)) ::lchown(entry.path().c_str(), nobody->uid, nobody->gid);
  }
  fs::permissions(root_ / "sub", fs::perms::owner_write | fs::perms::owner_exec);
  const int result = meldrix::testing::RunAs(nobody, {}, [&](std::string&) {
    std::vector<std::string> names;
    std::error_code error;
    const std::size_t count = ListFiles(Pattern("*.txt"), names, kListRecursive, 0, &error);
    if (error != std::errc::permission_denied) return 1;
    if (std::find(names.begin(), names.end(), "z.txt") == names.end()) return 2;
    return 10 + static_cast<int>(count);
  });
  EXPECT_EQ(result, 10 + 7) << "1: no permission error, 2: rest not listed, 10 + n: n files";
}

TEST(MatchesFilePattern, Wildcards) {
  const std::tuple<const char*, const char*, bool> rows[] = {  // pattern, name, matches
      {"*", "anything.x", true}, {"a*b*c", "aXXbYYbc", true}, {"a*b*c", "aXXbYYbcd", false},
      {"msg??.txt", "MSG01.TXT", true}, {"msg??.txt", "msg1.txt", false}, {"*.txt", "a.txt.bak", false},
      {"*.*", "README", true}, {"", "a", false},
      // Case folding is ASCII only: UTF-8 names are compared byte for byte.
      {"\xC3\xA4.txt", "\xC3\x84.txt", false}};
  for (const auto& [pattern, name, matches] : rows) EXPECT_EQ(MatchesFilePattern(pattern, name), matches) << pattern;
}
