#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "support/Files.h"
#include "support/TempFolder.h"
#include "sources/FileSource.h"

namespace meldrix {
namespace {

using testing::TempFolder;
using testing::ReadFile;
using testing::WriteFile;
namespace fs = std::filesystem;

// Counts line feeds as finished messages and stops at `limit` per poll.
struct Collector {
  std::string bytes;
  int finished = 0, limit = 100;
  SourceByteFeed Feed() {
    finished = 0;
    return [this](unsigned char b) {
      bytes += static_cast<char>(b);
      if (b == '\n') ++finished;
      return finished < limit;
    };
  }
};

class FileSourceTest : public ::testing::Test {
 protected:
  TempFolder folder;
  CFileSource source;
  Collector c;
};

TEST_F(FileSourceTest, PatternReadsEveryFileInNameOrderAndEmptiesOrRemovesThem) {
  WriteFile(folder.File("b.msg"), "B1\nB2\n");
  WriteFile(folder.File("a.msg"), "A1\n");
  WriteFile(folder.File("other.txt"), "untouched\n");
  auto result = source.Poll(folder.File("*.msg"), false, c.Feed());
  EXPECT_EQ(c.bytes, "A1\nB1\nB2\n");
  EXPECT_EQ(result.filesRead, 2u);
  EXPECT_FALSE(result.someNotOpened);
  EXPECT_TRUE(fs::exists(folder.File("a.msg")));
  EXPECT_EQ(fs::file_size(folder.File("a.msg")), 0u);
  EXPECT_EQ(ReadFile(folder.File("other.txt")), "untouched\n");
  WriteFile(folder.File("c.msg"), "C\n");
  c.bytes.clear();
  source.Poll(folder.File("?.msg"), true, c.Feed());
  EXPECT_EQ(c.bytes, "C\n");
  EXPECT_FALSE(fs::exists(folder.File("c.msg")));
  EXPECT_FALSE(fs::exists(folder.File("a.msg")));  // emptied ones are removed too
}

TEST_F(FileSourceTest, Windows1252NamesWithBackslashesReachTheFileSystemAsUtf8) {
  fs::create_directory(folder.File("Störung"));
  WriteFile(folder.File("Störung/a.msg"), "A\n");
  WriteFile(folder.File("Störung/b.msg"), "B\n");
  source.Poll(folder.File("St\xF6rung\\*.msg"), false, c.Feed());
  source.Poll(folder.File("St\xF6rung\\b.msg"), false, c.Feed());
  EXPECT_EQ(c.bytes, "A\nB\n");
}

TEST_F(FileSourceTest, MessageLimitKeepsTheRestAndLeavesLaterFilesOnDisk) {
  std::string many;
  for (int i = 0; i < 250; ++i) many += "line " + std::to_string(i) + "\n";
  WriteFile(folder.File("1.msg"), many);
  WriteFile(folder.File("2.msg"), "second\n");
  auto first = source.Poll(folder.File("*.msg"), true, c.Feed());
  EXPECT_TRUE(first.limitReached);
  EXPECT_EQ(c.finished, 100);
  EXPECT_FALSE(fs::exists(folder.File("1.msg")));  // emptied and removed at once...
  EXPECT_GT(source.PendingBytes(), 0u);            // ...but its rest is kept
  EXPECT_EQ(ReadFile(folder.File("2.msg")), "second\n");
  source.Poll(folder.File("*.msg"), true, c.Feed());
  auto last = source.Poll(folder.File("*.msg"), true, c.Feed());
  EXPECT_FALSE(last.limitReached);
  EXPECT_EQ(c.bytes, many + "second\n");
  EXPECT_EQ(source.PendingBytes(), 0u);
}

TEST_F(FileSourceTest, LockedOrMissingFileCountsAsNotOpenedAndStaysWhole) {
  std::string path = folder.File("alarm.txt");
  EXPECT_TRUE(source.Poll(path, true, c.Feed()).someNotOpened);  // not there yet
  WriteFile(path, "being written");
  int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_TRUE(source.Poll(path, true, c.Feed()).someNotOpened);
  EXPECT_EQ(ReadFile(path), "being written");
  ::close(fd);
  auto result = source.Poll(path, true, c.Feed());
  EXPECT_FALSE(result.someNotOpened);
  EXPECT_EQ(c.bytes, "being written");
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(FileSourceTest, PatternWithoutMatchesOrVanishedFilesIsQuiet) {
  auto result = source.Poll(folder.File("*.none"), false, c.Feed());
  EXPECT_FALSE(result.someNotOpened);
  EXPECT_EQ(result.filesRead, 0u);
  bool vanished = false;
  std::string content;
  EXPECT_FALSE(CFileSource::TakeFile(folder.File("gone"), false, content, &vanished));
  EXPECT_TRUE(vanished);
}

}  // namespace
}  // namespace meldrix
