#include <gtest/gtest.h>

#include "engine/EngineTestSupport.h"
#include "engine/KorvaneCheck.h"
#include "engine/KorvaneFake.h"
#include "util/LogLines.h"
#include "util/StringTable.h"

namespace meldrix {
namespace {

using enginetest::LogLine;
using enginetest::LogLines;

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
            (std::vector<LogLine>{
                {"ERROR(800706BA): Korvane does not answer; messages cannot be sent until it does", kLogRed},
                {"Korvane answers again", 0}}));
  EXPECT_EQ(korvane.Commands(), std::vector<std::string>(3, "[check(Meldrix)]"));
}

}  // namespace
}  // namespace meldrix
