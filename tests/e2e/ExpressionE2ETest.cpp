#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/E2eHarness.h"

namespace meldrix::testing {
namespace {

namespace fs = std::filesystem;

// Lines of a dropped file reach Korvane with the message's Text expanded:
// fields of the line, the source's name, a function, a value kept from the
// line before, and the receivers taken from a field.
TEST(ExpressionE2eTest, ConfiguredTextIsExpandedOnItsWayToKorvane) {
  E2eSetup setup;
  fs::create_directories(setup.File("in"));
  setup.WriteConfig("[Settings]\nAutoActivate=1\n"
                    "[InSource1]\nName=Drop\nSource=2\nFile=" + setup.File("in/*.txt") +
                    "\nRemoveFile=1\n"
                    "[Message1]\nName=All\nReceiver={{$MSGFIELD[1]}}\nLeftTrigger=\n"
                    "Text=#{{n := n + 1; n}} {{UPPERCASE($MSGFIELD[2])}} via {{$INPORT}}"
                    " ({{MID($MESSAGE, 1, 2)}}){{1 +}}|end\n");
  setup.DropFile("in/a.txt", "0815;fire\r\n4711;smoke\r\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  ASSERT_TRUE(setup.WaitForCommand("SMOKE")) << meldrix.Output() << meldrix.Errors();
  EXPECT_EQ(setup.SentCommands(), (std::vector<std::string>{"[send(*|0815|#1 FIRE via Drop (08)!end|||||)]",
                                            "[send(*|4711|#2 SMOKE via Drop (47)!end|||||)]"}));
  EXPECT_EQ(meldrix.Stop(), 0);
}

}  // namespace
}  // namespace meldrix::testing
