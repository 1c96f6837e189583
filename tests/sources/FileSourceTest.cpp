#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/KorvaneStubProcess.h"
#include "platform/SerialFake.h"
#include "sources/FileSource.h"
#include "sources/SerialSource.h"
#include "util/StringTable.h"

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

TEST(SerialSourceTest, OpensWithSettingsAndStopsAtTheLimit) {
  SetUiLanguage(1);
  FakeSerialLibrary serial;
  SerialSourceSettings settings;
  settings.port = 4;
  settings.baud = 2400;
  settings.dataBits = 7;
  settings.parity = 2;
  settings.stopBits = 2;
  settings.mode = 0;
  CSerialSource source;
  std::string error;
  ASSERT_TRUE(source.Open(settings, serial, &error));
  auto params = serial.OpenedWith(5);
  ASSERT_TRUE(params);
  EXPECT_EQ(params->baud, 2400u);
  EXPECT_EQ(params->dataBits, 7);
  EXPECT_EQ(params->parity, 'O');
  EXPECT_EQ(params->stopBits, 2);
  EXPECT_EQ(params->receiveBufferSize, 4096u);
  EXPECT_EQ(serial.Controls(5), std::vector<std::uint32_t>{SER_CONTROL_LINES_ON});

  serial.Receive(5, "1\n2\n3\n");
  Collector c;
  c.limit = 2;
  EXPECT_FALSE(source.ReadWaiting(c.Feed()));
  EXPECT_EQ(c.bytes, "1\n2\n");
  EXPECT_TRUE(source.ReadWaiting(c.Feed()));
  EXPECT_EQ(c.bytes, "1\n2\n3\n");
  source.Close();
  EXPECT_FALSE(serial.IsOpen(5));
}

TEST(SerialSourceTest, OpenFailureGivesTextSixWithReason) {
  SetUiLanguage(1);
  FakeSerialLibrary serial;
  serial.SetOpenError(2, SER_ERR_NOT_AVAILABLE);
  SerialSourceSettings settings;
  settings.port = 1;
  CSerialSource source;
  std::string error;
  EXPECT_FALSE(source.Open(settings, serial, &error));
  EXPECT_EQ(error,
            "The currently selected port as message source (COM2) could not be opened.\n"
            "The port is not available");
}

}  // namespace
}  // namespace meldrix
