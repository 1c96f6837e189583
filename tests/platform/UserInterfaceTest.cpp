#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/UserInterface.h"

namespace meldrix {
namespace {

TEST(ConsoleUserInterface, AnswersWithTheDefaultButtonAndLogs) {
  std::vector<std::string> logged;
  ConsoleUserInterface ui([&logged](const std::string& line) { logged.push_back(line); });
  EXPECT_EQ(ui.MessageBox("Text \xE4", "Meldrix", kMbOk | kMbIconError), kIdOk);
  EXPECT_EQ(ui.MessageBox("q", "T", kMbYesNo), kIdYes);
  EXPECT_EQ(ui.MessageBox("q", "T", kMbYesNo | kMbDefButton2), kIdNo);
  EXPECT_EQ(ui.MessageBox("q", "T", kMbYesNoCancel | kMbDefButton3), kIdCancel);
  EXPECT_EQ(ui.MessageBox("q", "T", kMbAbortRetryIgnore | kMbDefButton2), kIdRetry);
  EXPECT_EQ(ui.MessageBox("q", "T", kMbRetryCancel), kIdRetry);
  EXPECT_EQ(ui.MessageBox("q", "T", kMbOkCancel | kMbDefButton2), kIdCancel);
  ASSERT_EQ(logged.size(), 7u);
  EXPECT_EQ(logged[0], "Meldrix: Text \xE4");
}

}  // namespace
}  // namespace meldrix
