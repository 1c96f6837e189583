#include <gtest/gtest.h>

#include "engine/KorvaneCheck.h"
#include "engine/KorvaneFake.h"
#include "util/LogLines.h"
#include "util/StringTable.h"

namespace meldrix {
namespace {

// Non-empty lines, the red ones marked.
std::vector<std::string> LogLines(const CStreamDoc& log) {
  std::vector<std::string> lines;
  for (int row = 0; row < log.LineCount(); ++row) {
    StreamLine line = log.Line(row);
    if (!line.text.empty()) lines.push_back((line.colour == kLogRed ? "red: " : "") + line.text);
  }
  return lines;
}

TEST(KorvaneCheckTest, OneLineWhenKorvaneStopsAnsweringAndOneWhenItAnswersAgain) {
  SetUiLanguage(1);
  FakeKorvane korvane;
  CStreamDoc log;
  CKorvaneCheck check;
  EXPECT_TRUE(check.Run(korvane, log));
  EXPECT_TRUE(LogLines(log).empty());
  korvane.SetFailure(0x800706BA);
  for (int minute = 0; minute < 5; ++minute) EXPECT_FALSE(check.Run(korvane, log));
  korvane.SetFailure(0);
  EXPECT_TRUE(check.Run(korvane, log));
  EXPECT_TRUE(check.Run(korvane, log));
  EXPECT_EQ(LogLines(log),
            (std::vector<std::string>{
                "red: ERROR(800706BA): Korvane does not answer; messages cannot be sent until it does",
                "Korvane answers again"}));
  EXPECT_EQ(korvane.Commands(), std::vector<std::string>(3, "[check(Meldrix)]"));
}

}  // namespace
}  // namespace meldrix
