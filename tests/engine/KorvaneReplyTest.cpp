#include "engine/KorvaneReply.h"

#include <gtest/gtest.h>

using namespace meldrix;

TEST(KorvaneReply, AcceptanceNeedsALongReplyOrANonZeroNumber) {
  for (const std::string& reply : std::vector<std::string>{"", "0", "-0", "000", "abc", "x17", std::string(31, 'e')})
    EXPECT_FALSE(IsKorvaneSendAccepted(reply)) << reply;
  for (const std::string& reply : std::vector<std::string>{std::string(32, 'e'), std::string(32, '0'), "1", "-3",
                                                          " \t+42 jobs", "0007", "99999999999999999999999"})
    EXPECT_TRUE(IsKorvaneSendAccepted(reply)) << reply;  // the long number does not overflow to 0
}

TEST(KorvaneReply, ReceiverNamesAreCutFromEntries) {
  EXPECT_EQ(ParseKorvaneReceivers(" \tMeier[1]|Schulz[a[2]|Lager.1[3]|Halle.12[4]|Nord.123[5]"),
            (std::vector<std::string>{"Meier", "Schulz[a", "Lager", "Halle", "Nord.123"}));
  // No bracket: the entry is the name; empty entries are skipped.
  EXPECT_EQ(ParseKorvaneReceivers("A||B|"), (std::vector<std::string>{"A", "B"}));
  for (const char* none : {"", "  ", "[1]|.1[2]"}) EXPECT_TRUE(ParseKorvaneReceivers(none).empty()) << none;
  // Short names: ".x" keeps nothing before the dot, "x" has no third-last character.
  EXPECT_EQ(ParseKorvaneReceivers("a.b[1]|x[2]"), (std::vector<std::string>{"a", "x"}));
}

TEST(KorvaneReply, EachNameIsAddedOnceAcrossReceiversAndGroups) {
  std::vector<std::string> names;
  AddKorvaneReceivers("M\xFCller[1]|Team.1[2]", names);
  AddKorvaneReceivers("m\xDCLLER[9]|Team[3]|Wache[4]", names);
  EXPECT_EQ(names, (std::vector<std::string>{"M\xFCller", "Team", "Wache"}));
}
