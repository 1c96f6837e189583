#include "engine/KorvaneReply.h"
#include "engine/KorvaneFake.h"

#include <gtest/gtest.h>

using namespace meldrix;

TEST(KorvaneReply, SendCommandChoosesTheKindByColonAndTrimsReceivers) {
  EXPECT_EQ(KorvaneSendCommand("\t 4711 ", "Alarm"), "[send(*|4711|Alarm|||||)]");
  EXPECT_EQ(KorvaneSendCommand("P:0171", "x"), "[send(S|P:0171|x|||||)]");
  EXPECT_EQ(KorvaneSendCommand("", ""), "[send(*|||||||)]");
}

TEST(KorvaneReply, AcceptanceNeedsALongReplyOrANonZeroNumber) {
  EXPECT_FALSE(IsKorvaneSendAccepted(""));
  EXPECT_FALSE(IsKorvaneSendAccepted("0"));
  EXPECT_FALSE(IsKorvaneSendAccepted("-0"));
  EXPECT_FALSE(IsKorvaneSendAccepted("000"));
  EXPECT_FALSE(IsKorvaneSendAccepted("abc"));
  EXPECT_FALSE(IsKorvaneSendAccepted("x17"));
  EXPECT_FALSE(IsKorvaneSendAccepted(std::string(31, 'e')));
  EXPECT_TRUE(IsKorvaneSendAccepted(std::string(32, 'e')));
  EXPECT_TRUE(IsKorvaneSendAccepted(std::string(32, '0')));
  EXPECT_TRUE(IsKorvaneSendAccepted("1"));
  EXPECT_TRUE(IsKorvaneSendAccepted("-3"));
  EXPECT_TRUE(IsKorvaneSendAccepted(" \t+42 jobs"));
  EXPECT_TRUE(IsKorvaneSendAccepted("0007"));
  EXPECT_TRUE(IsKorvaneSendAccepted("99999999999999999999999"));  // no overflow to 0
}

TEST(KorvaneReply, ReceiverNamesAreCutFromEntries) {
  EXPECT_EQ(ParseKorvaneReceivers(" \tMeier[1]|Schulz[a[2]|Lager.1[3]|Halle.12[4]|Nord.123[5]"),
            (std::vector<std::string>{"Meier", "Schulz[a", "Lager", "Halle", "Nord.123"}));
  // No bracket: the entry is the name; empty entries are skipped.
  EXPECT_EQ(ParseKorvaneReceivers("A||B|"), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(ParseKorvaneReceivers("").empty());
  EXPECT_TRUE(ParseKorvaneReceivers("  ").empty());
  EXPECT_TRUE(ParseKorvaneReceivers("[1]|.1[2]").empty());
  // Short names: ".x" keeps nothing before the dot, "x" has no third-last character.
  EXPECT_EQ(ParseKorvaneReceivers("a.b[1]|x[2]"), (std::vector<std::string>{"a", "x"}));
}

TEST(KorvaneReply, EachNameIsAddedOnceAcrossReceiversAndGroups) {
  std::vector<std::string> names;
  AddKorvaneReceivers("M\xFCller[1]|Team.1[2]", names);
  AddKorvaneReceivers("m\xDCLLER[9]|Team[3]|Wache[4]", names);
  EXPECT_EQ(names, (std::vector<std::string>{"M\xFCller", "Team", "Wache"}));
}

TEST(FakeKorvane, AnswersLikeTheStubAndCanFail) {
  FakeKorvane korvane;
  EXPECT_EQ(korvane.Execute(KorvaneSendCommand("A", "x")).reply, "1");
  EXPECT_EQ(korvane.Execute(KorvaneSendCommand("A", "y")).reply, "2");
  EXPECT_EQ(korvane.Execute(kKorvaneCheckCommand).reply, "1");
  korvane.SetReceivers("Meier[1]");
  EXPECT_EQ(korvane.Execute(kKorvaneGetReceiversCommand).reply, "Meier[1]");
  korvane.SetReply("0");
  EXPECT_FALSE(IsKorvaneSendAccepted(korvane.Execute(KorvaneSendCommand("A", "z")).reply));
  korvane.SetFailure(KORVANE_E_SERVER_UNAVAILABLE);
  EXPECT_EQ(korvane.Execute(KorvaneSendCommand("A", "lost")).hr, KORVANE_E_SERVER_UNAVAILABLE);
  EXPECT_EQ(korvane.Commands().size(), 5u);
  EXPECT_EQ(korvane.Commands()[1], "[send(*|A|y|||||)]");
}
