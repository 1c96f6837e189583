#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/KorvaneStubProcess.h"
#include "sources/FileSource.h"

namespace meldrix {
namespace {

using testing::TempFolder;
namespace fs = std::filesystem;

void Write(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

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

TEST(FileSourceTest, PatternReadsEveryFileInNameOrderAndEmptiesOrRemovesThem) {
  TempFolder folder;
  Write(folder.File("b.msg"), "B1\nB2\n");
  Write(folder.File("a.msg"), "A1\n");
  Write(folder.File("other.txt"), "untouched\n");
  CFileSource source;
  Collector c;
  auto result = source.Poll(folder.File("*.msg"), false, c.Feed());
  EXPECT_EQ(c.bytes, "A1\nB1\nB2\n");
  EXPECT_EQ(result.filesRead, 2u);
  EXPECT_FALSE(result.someNotOpened);
  EXPECT_TRUE(fs::exists(folder.File("a.msg")));
  EXPECT_EQ(fs::file_size(folder.File("a.msg")), 0u);
  EXPECT_EQ(ReadAll(folder.File("other.txt")), "untouched\n");

  Write(folder.File("c.msg"), "C\n");
  c.bytes.clear();
  source.Poll(folder.File("?.msg"), true, c.Feed());
  EXPECT_EQ(c.bytes, "C\n");
  EXPECT_FALSE(fs::exists(folder.File("c.msg")));
  EXPECT_FALSE(fs::exists(folder.File("a.msg")));  // emptied ones are removed too
}

TEST(FileSourceTest, Windows1252NamesWithBackslashesReachTheFileSystemAsUtf8) {
  TempFolder folder;
  fs::create_directory(folder.File("Störung"));
  Write(folder.File("Störung/a.msg"), "A\n");
  Write(folder.File("Störung/b.msg"), "B\n");
  CFileSource source;
  Collector c;
  source.Poll(folder.File("St\xF6rung\\*.msg"), false, c.Feed());
  source.Poll(folder.File("St\xF6rung\\b.msg"), false, c.Feed());
  EXPECT_EQ(c.bytes, "A\nB\n");
}

TEST(FileSourceTest, MessageLimitKeepsTheRestAndLeavesLaterFilesOnDisk) {
  TempFolder folder;
  std::string many;
  for (int i = 0; i < 250; ++i) many += "line " + std::to_string(i) + "\n";
  Write(folder.File("1.msg"), many);
  Write(folder.File("2.msg"), "second\n");
  CFileSource source;
  Collector c;
  auto first = source.Poll(folder.File("*.msg"), true, c.Feed());
  EXPECT_TRUE(first.limitReached);
  EXPECT_EQ(c.finished, 100);
  EXPECT_FALSE(fs::exists(folder.File("1.msg")));  // emptied and removed at once...
  EXPECT_GT(source.PendingBytes(), 0u);            // ...but its rest is kept
  EXPECT_EQ(ReadAll(folder.File("2.msg")), "second\n");

  source.Poll(folder.File("*.msg"), true, c.Feed());
  auto last = source.Poll(folder.File("*.msg"), true, c.Feed());
  EXPECT_FALSE(last.limitReached);
  EXPECT_EQ(c.bytes, many + "second\n");
  EXPECT_EQ(source.PendingBytes(), 0u);
}

TEST(FileSourceTest, LockedOrMissingFileCountsAsNotOpenedAndStaysWhole) {
  TempFolder folder;
  std::string path = folder.File("alarm.txt");
  CFileSource source;
  Collector c;
  EXPECT_TRUE(source.Poll(path, true, c.Feed()).someNotOpened);  // not there yet

  Write(path, "being written");
  int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_TRUE(source.Poll(path, true, c.Feed()).someNotOpened);
  EXPECT_EQ(ReadAll(path), "being written");
  ::close(fd);

  auto result = source.Poll(path, true, c.Feed());
  EXPECT_FALSE(result.someNotOpened);
  EXPECT_EQ(c.bytes, "being written");
  EXPECT_FALSE(fs::exists(path));
}

TEST(FileSourceTest, PatternWithoutMatchesOrVanishedFilesIsQuiet) {
  TempFolder folder;
  CFileSource source;
  Collector c;
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
