#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "support/Files.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "sources/FileMessageSource.h"
#include "sources/FileSource.h"

namespace meldrix {
namespace {

using testing::TempFolder;
using testing::ReadFile;
using testing::WaitUntil;
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


// The file source as the engine drives it: the folder of the expanded setting
// is watched, so a dropped file asks for a poll before the timed look.
class FileMessageSourceTest : public ::testing::Test, public IMessageSink {
 protected:
  FileMessageSourceTest() {
    settings.m_Source = InSourceSettings::kTextFile;
    services.expand = [this](const std::string& text) {
      ++expansions;
      std::string expanded = text;
      if (auto at = expanded.find("{{dir}}"); at != std::string::npos) expanded.replace(at, 7, dir);
      return expanded;
    };
  }
  bool TakeByte(unsigned char byte) override {
    received += static_cast<char>(byte);
    return true;
  }
  void CopyRaw(unsigned char) override {}
  void TakeTelegram(std::string) override {}
  void EndOfText() override {}

  std::uint32_t Poll() { return source.Poll(*this, services); }
  bool DropSeen() { return WaitUntil([&] { return source.InputWaiting(); }, std::chrono::seconds(5)); }
  // Written elsewhere and renamed in, as a careful writer does.
  void Drop(const std::string& path, const std::string& bytes) {
    WriteFile(folder.File(".part"), bytes);
    fs::rename(folder.File(".part"), path);
  }

  TempFolder folder;
  InSourceSettings settings;
  OutPortServices services;
  CFileMessageSource source{settings};
  std::string dir, received;
  int expansions = 0;
};

TEST_F(FileMessageSourceTest, DroppedFileAsksForAPollAndItsOwnReadingDoesNot) {
  fs::create_directory(folder.File("in"));
  settings.m_File = folder.File("in/*.txt");
  ASSERT_TRUE(source.Open(services));
  WriteFile(folder.File("in/kept.txt"), "first\n");
  EXPECT_EQ(Poll(), kFileIdleMs);
  EXPECT_EQ(received, "first\n");
  // The file read stays, emptied: that reading is no news.
  EXPECT_FALSE(source.InputWaiting());

  WriteFile(folder.File("in/note.tmp"), "not read\n");
  EXPECT_FALSE(source.InputWaiting());
  Drop(folder.File("in/a.txt"), "dropped\n");
  EXPECT_TRUE(DropSeen());
  EXPECT_EQ(Poll(), kFileIdleMs);
  EXPECT_EQ(received, "first\ndropped\n");
  EXPECT_FALSE(source.InputWaiting());
  WriteFile(folder.File("in/kept.txt"), "again\n");  // the emptied file written anew
  EXPECT_TRUE(DropSeen());
  Poll();
  EXPECT_EQ(received, "first\ndropped\nagain\n");

  source.Close();
  Drop(folder.File("in/b.txt"), "after close\n");
  EXPECT_FALSE(source.InputWaiting());
}

// The folder comes from the expanded setting of the last poll; asking whether
// input waits expands nothing.
TEST_F(FileMessageSourceTest, WatchFollowsTheFolderTheSettingNames) {
  fs::create_directory(folder.File("one"));
  fs::create_directory(folder.File("two"));
  settings.m_File = "{{dir}}/alarm.txt";
  dir = folder.File("one");
  ASSERT_TRUE(source.Open(services));
  EXPECT_EQ(Poll(), kFileRetryMs);  // the one file is not there yet
  dir = folder.File("two");
  Poll();
  const int expanded = expansions;
  Drop(folder.File("one/alarm.txt"), "old folder\n");
  Drop(folder.File("two/other.txt"), "other name\n");
  EXPECT_FALSE(source.InputWaiting());
  Drop(folder.File("two/alarm.txt"), "FIRE\n");
  EXPECT_TRUE(DropSeen());
  EXPECT_EQ(expansions, expanded);
  EXPECT_EQ(Poll(), kFileIdleMs);
  EXPECT_EQ(received, "FIRE\n");
}

// A folder that is missing, or goes away, leaves the timed look; the next
// poll watches it again once it is back.
TEST_F(FileMessageSourceTest, MissingFolderFallsBackQuietlyAndIsWatchedOnceThere) {
  settings.m_File = folder.File("later/*.txt");
  ASSERT_TRUE(source.Open(services));
  EXPECT_EQ(Poll(), kFileIdleMs);
  fs::create_directory(folder.File("later"));
  Drop(folder.File("later/a.txt"), "A\n");
  EXPECT_FALSE(source.InputWaiting());
  Poll();  // the timed look
  EXPECT_EQ(received, "A\n");
  Drop(folder.File("later/b.txt"), "B\n");
  EXPECT_TRUE(DropSeen());
  Poll();
  EXPECT_EQ(received, "A\nB\n");

  fs::remove_all(folder.File("later"));
  EXPECT_TRUE(DropSeen());  // the watch is gone: look once more
  EXPECT_EQ(Poll(), kFileIdleMs);
  EXPECT_FALSE(source.InputWaiting());
  fs::create_directory(folder.File("later"));
  Poll();
  Drop(folder.File("later/c.txt"), "C\n");
  EXPECT_TRUE(DropSeen());
  Poll();
  EXPECT_EQ(received, "A\nB\nC\n");
}
}  // namespace
}  // namespace meldrix
