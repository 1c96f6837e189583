#include "platform/FolderWatch.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/Files.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace meldrix {
namespace {

using testing::TempFolder;
using testing::WaitUntil;
using testing::WriteFile;
namespace fs = std::filesystem;

class FolderWatchTest : public ::testing::Test {
 protected:
  bool ChangeSeen(const FolderWatch::NameFilter& relevant = {}) {
    return WaitUntil([&] { return watch.Changed(relevant); });
  }
  TempFolder folder;
  FolderWatch watch;
};

TEST_F(FolderWatchTest, FinishedFilesAreReportedOnceAndUnfinishedOnesNot) {
  fs::create_directory(folder.File("work"));
  ASSERT_TRUE(watch.Watch(folder.Path())) << watch.Reason().message();
  EXPECT_GE(watch.Fd(), 0);
  EXPECT_FALSE(watch.Changed());

  // Created and being written: not yet.
  int fd = ::open(folder.File("alarm.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "FIRE", 4), 4);
  EXPECT_FALSE(watch.Changed());
  ::close(fd);
  EXPECT_TRUE(ChangeSeen());
  EXPECT_FALSE(watch.Changed()) << "reported once";

  // Written in a sub folder (not watched), then renamed in.
  WriteFile(folder.File("work/b.txt"), "B\n");
  EXPECT_FALSE(watch.Changed());
  fs::rename(folder.File("work/b.txt"), folder.File("b.txt"));
  EXPECT_TRUE(ChangeSeen());

  // Names the owner does not read, and folders, are no news.
  const auto onlyTxt = [](std::string_view name) { return name.ends_with(".txt"); };
  WriteFile(folder.File("c.tmp"), "C\n");
  fs::create_directory(folder.File("d.txt"));
  fs::rename(folder.File("work"), folder.File("e.txt"));
  EXPECT_FALSE(watch.Changed(onlyTxt));
  WriteFile(folder.File("c.txt"), "C\n");
  EXPECT_TRUE(ChangeSeen(onlyTxt));
  EXPECT_TRUE(watch.Watching());
}

// More events than one read takes: all are taken, so the next question is
// answered by what happens after it.
TEST_F(FolderWatchTest, ManyEventsAreDrainedAtOnce) {
  ASSERT_TRUE(watch.Watch(folder.Path()));
  for (int i = 0; i < 300; ++i) WriteFile(folder.File(std::string(200, 'x') + std::to_string(i)), "x");
  EXPECT_TRUE(ChangeSeen());
  EXPECT_FALSE(watch.Changed());
}

// Events the kernel could not keep may have been any: a change, whatever
// the filter says.
TEST_F(FolderWatchTest, LostEventsCountAsAChange) {
  int limit = 0;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
  if (limit <= 0 || limit > 100000) GTEST_SKIP() << "queue limit " << limit;
  ASSERT_TRUE(watch.Watch(folder.Path()));
  for (int i = 0; i <= limit; ++i) {
    int fd = ::open(folder.File(std::to_string(i)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  EXPECT_TRUE(watch.Changed([](std::string_view) { return false; }));
}

TEST_F(FolderWatchTest, WhatCannotBeWatchedFailsWithItsReason) {
  WriteFile(folder.File("plain"), "x");
  struct Case {
    std::string path;
    std::errc reason;
  } cases[] = {{folder.File("missing"), std::errc::no_such_file_or_directory},
               {folder.File("plain"), std::errc::not_a_directory}};
  for (const Case& c : cases) {
    EXPECT_FALSE(watch.Watch(c.path)) << c.path;
    EXPECT_EQ(watch.Reason(), c.reason) << c.path;
    EXPECT_FALSE(watch.Watching());
    EXPECT_FALSE(watch.Changed());
  }
  ASSERT_TRUE(watch.Watch(folder.Path()));
  EXPECT_FALSE(watch.Reason());
}

TEST_F(FolderWatchTest, FolderRemovedOrMovedAwayEndsTheWatch) {
  for (bool remove : {true, false}) {
    const std::string watched = folder.File("in");
    fs::create_directory(watched);
    ASSERT_TRUE(watch.Watch(watched));
    if (remove)
      fs::remove(watched);
    else
      fs::rename(watched, folder.File("moved"));
    EXPECT_TRUE(ChangeSeen()) << remove;
    EXPECT_FALSE(watch.Watching()) << remove;
    if (!remove) {
      // The moved folder is no longer followed.
      WriteFile(folder.File("moved/late.txt"), "x");
      EXPECT_FALSE(watch.Changed());
    }
  }
  watch.Stop();
  EXPECT_EQ(watch.Fd(), -1);
}

}  // namespace
}  // namespace meldrix
