#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/UserInterface.h"

namespace meldrix {
namespace {

TEST(ConsoleUserInterface, AnswersWithTheDefaultButtonAndLogs) {
  std::vector<std::string> logged;
  ConsoleUserInterface ui([&logged](const std::string& line) { logged.push_back(line); });
  const std::pair<unsigned, int> rows[] = {  // style, the answer given
      {kMbOk | kMbIconError, kIdOk}, {kMbYesNo, kIdYes}, {kMbYesNo | kMbDefButton2, kIdNo},
      {kMbYesNoCancel | kMbDefButton3, kIdCancel}, {kMbAbortRetryIgnore | kMbDefButton2, kIdRetry},
      {kMbRetryCancel, kIdRetry}, {kMbOkCancel | kMbDefButton2, kIdCancel}};
  for (const auto& [style, answer] : rows) EXPECT_EQ(ui.MessageBox("Text \xE4", "Meldrix", style), answer) << style;
  ASSERT_EQ(logged.size(), 7u);
  EXPECT_EQ(logged[0], "Meldrix: Text \xE4");
}

}  // namespace
}  // namespace meldrix
