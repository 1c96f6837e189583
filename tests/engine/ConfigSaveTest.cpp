#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ConfigTestSupport.h"
#include "platform/AtomicFile.h"
#include "platform/PrivateProfile.h"

using namespace meldrix;
using meldrix::profiletest::ProfileConfigFixture;
using meldrix::profiletest::ProfileTempFolder;

namespace {

void AddMessages(CMeldrixDoc& doc, int count) {
  doc.m_Messages.RemoveAll();
  for (int i = 1; i <= count; ++i) {
    CMessage& m = doc.m_Messages.AddNew();
    m.m_Name = "M" + std::to_string(i);
    m.m_LeftTrigger = "L" + std::to_string(i);
  }
}

TEST(ConfigSave, MessagesRoundTripAndLeaveDefaultsOut) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("; kept comment\n[Settings]\nAutoActivate=1\n");
  CMessage& m = doc->m_Messages.AddNew();
  m.m_Name = " Fire ";
  m.m_Receiver = "G1,G2";
  m.m_Text = "line one\r\nline two";
  m.m_LeftTrigger = "AL?RM ";
  m.m_MidTrigger[2] = "\"hall\"";
  CMessage& quiet = doc->m_Messages.AddNew();
  quiet.m_Name = "Quiet";
  quiet.m_CaseSensitive = 0;
  quiet.m_Active = 0;
  quiet.m_PackMessages = 1;
  quiet.m_Text = std::string(3000, 'x');
  ASSERT_TRUE(doc->SaveMessages());

  const std::string file = fx.File();
  EXPECT_EQ(file.find("CaseSensitive=1"), std::string::npos);
  EXPECT_EQ(file.find("Active=1"), std::string::npos);
  EXPECT_EQ(file.find("ContinueChecking"), std::string::npos);
  EXPECT_EQ(file.find("MidTrigger1"), std::string::npos);
  EXPECT_NE(file.find("; kept comment\n[Settings]\nAutoActivate=1\n"), std::string::npos);
  EXPECT_NE(file.find("Name=\" Fire \"\n"), std::string::npos);

  auto again = fx.LoadAgain();
  ASSERT_EQ(again->m_Messages.GetSize(), 2u);
  const CMessage& r = again->m_Messages[0];
  EXPECT_EQ(r.m_Name, " Fire ");
  EXPECT_EQ(r.m_Receiver, "G1,G2");
  EXPECT_EQ(r.m_Text, "line one  line two");
  EXPECT_EQ(r.m_LeftTrigger, "AL?RM ");
  EXPECT_EQ(r.m_MidTrigger[2], "\"hall\"");
  EXPECT_EQ(r.m_CaseSensitive, 1);
  EXPECT_EQ(r.m_Active, 1);
  const CMessage& q = again->m_Messages[1];
  EXPECT_EQ(q.m_CaseSensitive, 0);
  EXPECT_EQ(q.m_Active, 0);
  EXPECT_EQ(q.m_PackMessages, 1);
  EXPECT_EQ(q.m_Text, std::string(3000, 'x'));
  EXPECT_TRUE(again->m_AutoActivate);
}

TEST(ConfigSave, FiveMessagesAfterSevenRemoveTheStaleSections) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("");
  AddMessages(*doc, 7);
  ASSERT_TRUE(doc->SaveMessages());
  AddMessages(*doc, 5);
  ASSERT_TRUE(doc->SaveMessages());
  EXPECT_TRUE(PrivateProfile::SectionExists(fx.paths.configFile, "Message5"));
  EXPECT_FALSE(PrivateProfile::SectionExists(fx.paths.configFile, "Message6"));
  EXPECT_FALSE(PrivateProfile::SectionExists(fx.paths.configFile, "Message7"));
  EXPECT_EQ(fx.LoadAgain()->m_Messages.GetSize(), 5u);
}

TEST(ConfigSave, AMessageWithoutNameAndFilterDoesNotEndTheList) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("");
  AddMessages(*doc, 3);
  doc->m_Messages[1].m_Name.clear();
  doc->m_Messages[1].m_LeftTrigger.clear();
  doc->m_Messages[1].m_Receiver = "All";  // a catch-all message
  ASSERT_TRUE(doc->SaveMessages());
  EXPECT_EQ(doc->m_Messages[1].m_Name, "Message 2");
  auto again = fx.LoadAgain();
  ASSERT_EQ(again->m_Messages.GetSize(), 3u);
  EXPECT_EQ(again->m_Messages[1].m_Receiver, "All");
  EXPECT_EQ(again->m_Messages[2].m_Name, "M3");
}

TEST(ConfigSave, SourcesAndOutputsReplaceTheOldSectionsWithEveryKey) {
  ProfileConfigFixture fx;
  auto doc = fx.Load(
      "[InSource1]\nSource=1\n[InSource2]\nSource=9\n[InSource3]\nSource=2\nName=old\n"
      "[OutDest1]\nId=5\n[OutDest2]\nId=6\n[OutDest3]\nId=7\n");
  ASSERT_EQ(doc->m_InPorts.GetSize(), 2u);
  doc->m_InPorts.RemoveAt(1);
  doc->m_InPorts[0].m_Name = " Door ";
  ASSERT_TRUE(doc->SaveInPorts());
  EXPECT_FALSE(PrivateProfile::SectionExists(fx.paths.configFile, "InSource2"));
  EXPECT_FALSE(PrivateProfile::SectionExists(fx.paths.configFile, "InSource3"));
  // Sources are written without defaults: every key is there.
  for (const char* key : {"Name", "Source", "File", "RemoveFile", "SocketPort", "MailServer",
                          "MailUser", "MailPort", "MailPassword", "MailAuth", "MailSSLMode",
                          "MailFields", "Port", "Baud", "DataBit", "Parity", "StopBit", "Mode",
                          "Protocol", "OutId"})
    EXPECT_NE(PrivateProfile::GetString(fx.paths.configFile, "InSource1", key, "<none>"), "<none>")
        << key;

  doc->m_OutPorts.RemoveAt(2);
  doc->m_OutPorts.RemoveAt(0);
  doc->m_OutPorts[0].m_File = "out.txt";
  ASSERT_TRUE(doc->SaveOutPorts());
  auto again = fx.LoadAgain();
  ASSERT_EQ(again->m_InPorts.GetSize(), 1u);
  EXPECT_EQ(again->m_InPorts[0].m_Name, " Door ");
  EXPECT_EQ(again->m_InPorts[0].m_Baud, 9600);
  ASSERT_EQ(again->m_OutPorts.GetSize(), 1u);
  EXPECT_EQ(again->m_OutPorts[0].m_Id, 6);
  EXPECT_EQ(again->m_OutPorts[0].m_File, "out.txt");
  EXPECT_FALSE(PrivateProfile::SectionExists(fx.paths.configFile, "OutDest2"));
}

TEST(ConfigSave, GeneralAndMailSettings) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("[Settings]\nEndOfMessage=\\r\nCtrlReplaceChar=#\nPassword=secret\n");
  doc->m_EndOfMessage = "\\n";
  doc->m_MultilineTimeout = 5000;
  doc->m_CtrlReplaceChar = '!';
  doc->m_PackBody = 1;
  ASSERT_TRUE(doc->SaveSettings());
  ASSERT_TRUE(doc->SaveMailSettings());
  const std::string file = fx.File();
  EXPECT_EQ(file.find("EndOfMessage"), std::string::npos);  // the default deletes the key
  EXPECT_NE(file.find("CtrlReplaceChar=#"), std::string::npos);  // never written
  EXPECT_NE(file.find("Password=secret"), std::string::npos);
  EXPECT_NE(file.find("ShowInMessages=1"), std::string::npos);  // written even at default
  auto again = fx.LoadAgain();
  EXPECT_EQ(again->m_MultilineTimeout, 5000);
  EXPECT_EQ(again->m_PackBody, 1);
  EXPECT_EQ(again->m_CtrlReplaceChar, '#');
  doc->m_AutoActivate = true;
  ASSERT_TRUE(doc->SaveAutoActivate());
  EXPECT_TRUE(fx.LoadAgain()->m_AutoActivate);
  EXPECT_FALSE(doc->CheckConfigChanged());
}

TEST(ConfigSave, InterruptedSaveLeavesTheOldFileIntact) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("");
  AddMessages(*doc, 3);
  ASSERT_TRUE(doc->SaveMessages());
  const std::string before = fx.File();
  const auto remembered = doc->GetRememberedConfigTime();
  const std::size_t entries = fx.folder.EntryCount();

  AddMessages(*doc, 1);
  doc->m_Messages[0].m_Name = "changed";
  SetAtomicWriteBeforeRenameHook([](const std::string&) { return false; });
  EXPECT_FALSE(doc->SaveMessages());
  SetAtomicWriteBeforeRenameHook(nullptr);
  EXPECT_EQ(fx.File(), before);
  EXPECT_EQ(fx.folder.EntryCount(), entries);
  EXPECT_EQ(doc->GetRememberedConfigTime(), remembered);
  EXPECT_EQ(fx.LoadAgain()->m_Messages.GetSize(), 3u);
}

TEST(ConfigSave, ReadOnlyFileFailsTheSaveAndKeepsTheFile) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("[Settings]\nAutoActivate=0\n");
  ::chmod(fx.paths.configFile.c_str(), 0444);
  doc->m_AutoActivate = true;
  EXPECT_FALSE(doc->SaveSettings());
  EXPECT_EQ(fx.File(), "[Settings]\nAutoActivate=0\n");
}

TEST(ConfigSave, SmtpPortIsWrittenOnlyWhenNotTheDefault) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("[MailServer]\nSmtpPort=2526\n");
  EXPECT_EQ(doc->m_SmtpPort, 2526);
  doc->m_SmtpPort = 26;
  ASSERT_TRUE(doc->SaveMailSettings());
  EXPECT_EQ(fx.File().find("SmtpPort"), std::string::npos);
  EXPECT_EQ(fx.LoadAgain()->m_SmtpPort, 26);
  doc->m_SmtpPort = 10025;
  ASSERT_TRUE(doc->SaveMailSettings());
  EXPECT_NE(fx.File().find("SmtpPort=10025"), std::string::npos);
  EXPECT_EQ(fx.LoadAgain()->m_SmtpPort, 10025);
}

}  // namespace
