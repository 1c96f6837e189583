#include <gtest/gtest.h>

#include "engine/ConfigTestSupport.h"

using namespace meldrix;
using meldrix::profiletest::ProfileConfigFixture;

namespace {

template <class Array>
std::vector<std::string> Names(const Array& items) {
  std::vector<std::string> names;
  for (const auto& item : items) names.push_back(item->m_Name);
  return names;
}

TEST(ConfigLoad, EveryListEndsByItsOwnRule) {
  ProfileConfigFixture fx;
  auto doc = fx.Load(
      "[InSource1]\nSource=1\nName=Door\n"
      "[InSource2]\nSource=9\nName=Unknown kind\n"
      "[InSource3]\nSource=5\nName=Socket\n"
      "[InSource4]\nSource=0\nName=End\n"
      "[InSource5]\nSource=2\nName=After the end\n"
      "[OutDest1]\nId=3\nName=Printer\n"
      "[OutDest2]\nName=No id ends the list\n"
      "[OutDest3]\nId=4\n"
      "[Message1]\nName=Fire\nLeftTrigger=fire\nCaseSensitive=0\n"
      "[Message2]\nLeftTrigger=AL?RM\n"
      "[Message3]\nReceiver=only a receiver ends the list\n"
      "[Message4]\nName=After the end\n");
  // An unknown kind is skipped, the sources after it are still read.
  EXPECT_EQ(Names(doc->m_InPorts), (std::vector<std::string>{"Door", "Socket"}));
  EXPECT_EQ(Names(doc->m_OutPorts), (std::vector<std::string>{"Printer"}));
  EXPECT_EQ(doc->m_OutPorts.FindById(3), &doc->m_OutPorts[0]);
  EXPECT_EQ(doc->m_OutPorts.FindById(0), nullptr);
  EXPECT_EQ(Names(doc->m_Messages), (std::vector<std::string>{"Fire", ""}));
  // The filters are prepared as the messages are read.
  EXPECT_TRUE(doc->m_Messages[0].Matches("Fire in hall 2"));
  EXPECT_TRUE(doc->m_Messages[1].Matches("ALxRM"));
  // The copy the setup edits: every setting, filters prepared, nothing shared.
  CMessageArray copy = doc->m_Messages.Clone();
  ASSERT_EQ(Names(copy), Names(doc->m_Messages));
  EXPECT_EQ(copy[0].m_CaseSensitive, 0);
  EXPECT_TRUE(copy[0].Matches("Fire in hall 2"));
  copy[0].m_Name = "edited";
  EXPECT_EQ(doc->m_Messages[0].m_Name, "Fire");
}

// Value conversions are CSection's; here the file as a whole.
TEST(ConfigLoad, JunkDuplicatesAndLongValues) {
  ProfileConfigFixture fx;
  std::string junk("\x00\x01\xFF[\x80]\n", 7);
  junk += std::string(200000, 'z') + "\n";
  auto doc = fx.Load(junk +
                     "[Settings]\nAutoActivate=1\n[settings]\nUsedCharset=1\nAutoActivate=0\n"
                     "[InSource1]\nSource=1\nName=" + std::string(100000, 'n') + "\nName=second\n"
                     "[Message1]\nName=\x01\x02\xFE\nText=" + std::string(3000, 't') + "\n");
  EXPECT_TRUE(doc->m_AutoActivate);  // the first occurrence counts
  EXPECT_EQ(doc->m_UsedCharset, 1);  // from the duplicate section
  ASSERT_EQ(doc->m_InPorts.GetSize(), 1u);
  EXPECT_EQ(doc->m_InPorts[0].m_Name.size(), 59999u);
  ASSERT_EQ(doc->m_Messages.GetSize(), 1u);
  EXPECT_EQ(doc->m_Messages[0].m_Name, "\x01\x02\xFE");
  EXPECT_EQ(doc->m_Messages[0].m_Text, std::string(3000, 't'));
}

TEST(ConfigLoad, Utf8FileFiltersMatchWindows1252Text) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("[Message1]\nName=Haust\xC3\xBCr\nLeftTrigger=T\xC3\xBCr\n");
  ASSERT_EQ(doc->m_Messages.GetSize(), 1u);
  EXPECT_TRUE(doc->m_Messages[0].Matches("T\xFCr 3 offen"));
  EXPECT_EQ(doc->m_Messages[0].m_Name, "Haust\xFCr");
}

}  // namespace
