#include <gtest/gtest.h>

#include "e2e/E2eHarness.h"

namespace meldrix::testing {
namespace {

// A file dropped into a watched folder is read at once, not at the folder's
// next timed look 30 s later.
TEST(FileSourceE2eTest, DroppedFileReachesKorvaneBeforeTheNextLook) {
  E2eSetup setup;
  setup.WriteConfig("[Settings]\nAutoActivate=1\n" + setup.DropSource() +
                    "[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\nText={{$MESSAGE}}\n");
  setup.DropFile("in/0.txt", "first look\r\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  // The first look has happened: the folder is watched from now on.
  ASSERT_TRUE(setup.WaitForCommand("first look")) << meldrix.Output() << meldrix.Errors();

  std::string lines;
  std::vector<std::string> expected{"[send(*|4711|first look|||||)]"};
  for (int i = 1; i <= 5; ++i) {
    lines += "alarm " + std::to_string(i) + "\r\n";
    expected.push_back("[send(*|4711|alarm " + std::to_string(i) + "|||||)]");
  }
  setup.DropFile("in/1.txt", lines);
  // The time is the behaviour under test here: well below the 30 s look.
  EXPECT_TRUE(WaitUntil([&] { return setup.SentCommands() == expected; }, std::chrono::seconds(10)))
      << meldrix.Output();
  EXPECT_EQ(meldrix.Stop(), 0);
}

}  // namespace
}  // namespace meldrix::testing
