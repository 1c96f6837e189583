#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ConfigTestSupport.h"

using namespace meldrix;
using meldrix::profiletest::ProfileConfigFixture;
using meldrix::profiletest::ProfileTempFolder;

namespace {

TEST(ConfigLoad, MissingFileGivesEveryDefault) {
  ProfileConfigFixture fx;
  CMeldrixDoc doc(fx.paths);
  doc.LoadConfiguration();
  EXPECT_FALSE(std::filesystem::exists(fx.paths.configFile));
  EXPECT_FALSE(doc.m_AutoActivate);
  EXPECT_EQ(doc.m_UsedCharset, 0);
  EXPECT_EQ(doc.m_MultilineTimeout, 1000);
  EXPECT_EQ(doc.m_ShowInMessages, 1);
  EXPECT_EQ(doc.m_ShowSentMessages, 1);
  EXPECT_EQ(doc.m_LineTimeout, 1000);
  EXPECT_EQ(doc.m_EndOfMessage, "\\n");
  EXPECT_EQ(doc.m_CtrlReplaceChar, '~');
  EXPECT_EQ(doc.m_MaxMessageLength, 250);
  EXPECT_EQ(doc.m_MaxPackedLength, 160);
  EXPECT_EQ(doc.m_UseSubject, 1);
  EXPECT_EQ(doc.m_UseBody, 1);
  EXPECT_EQ(doc.m_PackBody, 0);
  EXPECT_TRUE(doc.m_Messages.IsEmpty());
  EXPECT_TRUE(doc.m_InPorts.IsEmpty());
  EXPECT_TRUE(doc.m_OutPorts.IsEmpty());
  EXPECT_FALSE(doc.GetRememberedConfigTime().has_value());
}

TEST(ConfigLoad, ReadsEveryListWithItsEndRule) {
  ProfileConfigFixture fx;
  auto doc = fx.Load(
      "[Settings]\nAutoActivate=1\nUsedCharset=2\nMultilineTimeout=3000\nEndOfMessage=\\r\\n\n"
      "CtrlReplaceChar=#\nMaxMessageLength=80\nReplaceControlChars=1\n"
      "[MailServer]\nUseSubject=0\nIncMailTo=1\n"
      "[InSource1]\nSource=1\nName=Door\nPort=2\nBaud=19200\nProtocol=1\nOutId=3\n"
      "[InSource2]\nSource=9\nName=Unknown kind\n"
      "[InSource3]\nSource=5\nName=Socket\nSocketPort=4000\n"
      "[InSource4]\nSource=0\nName=End\n"
      "[InSource5]\nSource=2\nName=After the end\n"
      "[OutDest1]\nId=3\nDest=2\nFile=/tmp/out.txt\nFileMode=0\n"
      "[OutDest2]\nName=No id ends the list\n"
      "[OutDest3]\nId=4\n"
      "[Message1]\nName=Fire\nLeftTrigger=fire\nCaseSensitive=0\nReceiver=G1\n"
      "[Message2]\nLeftTrigger=AL?RM\nMidTrigger2=x\nActive=0\nContinueChecking=1\n"
      "[Message3]\nReceiver=only a receiver ends the list\n"
      "[Message4]\nName=After the end\n");
  EXPECT_TRUE(doc->m_AutoActivate);
  EXPECT_EQ(doc->m_UsedCharset, 2);
  EXPECT_EQ(doc->m_MultilineTimeout, 3000);
  EXPECT_EQ(doc->m_EndOfMessage, "\\r\\n");
  EXPECT_EQ(doc->m_CtrlReplaceChar, '#');
  EXPECT_EQ(doc->m_MaxMessageLength, 80);
  EXPECT_EQ(doc->m_ReplaceControlChars, 1);
  EXPECT_EQ(doc->m_UseSubject, 0);
  EXPECT_EQ(doc->m_IncMailTo, 1);

  ASSERT_EQ(doc->m_InPorts.GetSize(), 2u);  // Source 9 skipped, Source 0 ends
  EXPECT_EQ(doc->m_InPorts[0].m_Name, "Door");
  EXPECT_EQ(doc->m_InPorts[0].m_Port, 2);
  EXPECT_EQ(doc->m_InPorts[0].m_Baud, 19200);
  EXPECT_EQ(doc->m_InPorts[0].m_Protocol, CInPort::kSiedle);
  EXPECT_EQ(doc->m_InPorts[0].m_OutId, 3);
  EXPECT_EQ(doc->m_InPorts[0].m_MailPort, "110");
  EXPECT_EQ(doc->m_InPorts[0].m_MailAuth, "PLAIN");
  EXPECT_EQ(doc->m_InPorts[0].m_MailSSLMode, "1");
  EXPECT_EQ(doc->m_InPorts[1].m_Name, "Socket");
  EXPECT_EQ(doc->m_InPorts[1].m_SocketPort, 4000);

  ASSERT_EQ(doc->m_OutPorts.GetSize(), 1u);
  EXPECT_EQ(doc->m_OutPorts[0].m_Dest, COutPort::kFileDest);
  EXPECT_EQ(doc->m_OutPorts[0].m_File, "/tmp/out.txt");
  EXPECT_EQ(doc->m_OutPorts[0].m_FileMode, 0);
  EXPECT_EQ(doc->m_OutPorts[0].m_Port, 9);
  EXPECT_EQ(doc->m_OutPorts.FindById(3), &doc->m_OutPorts[0]);
  EXPECT_EQ(doc->m_OutPorts.FindById(0), nullptr);

  ASSERT_EQ(doc->m_Messages.GetSize(), 2u);
  const CMessage& fire = doc->m_Messages[0];
  EXPECT_EQ(fire.m_Receiver, "G1");
  EXPECT_EQ(fire.m_Active, 1);
  EXPECT_EQ(fire.m_PreparedLeftTrigger, "FIRE");  // prepared at once
  EXPECT_TRUE(fire.Matches("Fire in hall 2"));
  const CMessage& alarm = doc->m_Messages[1];
  EXPECT_EQ(alarm.m_Name, "");
  EXPECT_EQ(alarm.m_Active, 0);
  EXPECT_EQ(alarm.m_ContinueChecking, 1);
  EXPECT_EQ(alarm.m_LeftTriggerMask, "11011");
  EXPECT_EQ(alarm.m_MidTrigger[1], "x");
}

TEST(ConfigLoad, BadInputLoadsWithDefaultsAndConversions) {
  ProfileConfigFixture fx;
  std::string junk("\x00\x01\xFF[\x80]\n", 7);
  junk += std::string(200000, 'z') + "\n";
  auto doc = fx.Load(junk +
                     "[Settings]\nAutoActivate=256\nMaxMessageLength=12abc\nLineTimeout=\n"
                     "CtrlReplaceChar=\nShowInMessages=junk\n"
                     "[settings]\nUsedCharset=1\nAutoActivate=1\n"
                     "[InSource1]\nSource=1\nBaud=96x\nDataBit=7 bits\nName=" +
                     std::string(100000, 'n') + "\nName=second\n"
                     "[Message1]\nName=\x01\x02\xFE\nText=" + std::string(3000, 't') + "\n");
  EXPECT_FALSE(doc->m_AutoActivate);  // low byte of 256, first occurrence
  EXPECT_EQ(doc->m_UsedCharset, 1);   // from the duplicate section
  EXPECT_EQ(doc->m_MaxMessageLength, 12);
  EXPECT_EQ(doc->m_LineTimeout, 0);
  EXPECT_EQ(doc->m_CtrlReplaceChar, '~');
  EXPECT_EQ(doc->m_ShowInMessages, 0);
  ASSERT_EQ(doc->m_InPorts.GetSize(), 1u);
  EXPECT_EQ(doc->m_InPorts[0].m_Baud, 96);
  EXPECT_EQ(doc->m_InPorts[0].m_DataBit, 7);
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
