#include <gtest/gtest.h>

#include "engine/ConfigTestSupport.h"
#include "platform/AtomicFile.h"
#include "platform/PrivateProfile.h"

using namespace meldrix;
using meldrix::profiletest::ProfileConfigFixture;

namespace {

void AddMessages(CMeldrixDoc& doc, int count) {
  doc.m_Messages.RemoveAll();
  for (int i = 1; i <= count; ++i) {
    CMessage& m = doc.m_Messages.AddNew();
    m.m_Name = "M" + std::to_string(i);
    m.m_LeftTrigger = "L" + std::to_string(i);
  }
}

TEST(ConfigSave, ShorterListsRemoveTheStaleSections) {
  ProfileConfigFixture fx;
  auto doc = fx.Load(
      "[InSource1]\nSource=1\n[InSource2]\nSource=9\n[InSource3]\nSource=2\nName=old\n"
      "[OutDest1]\nId=5\n[OutDest2]\nId=6\n[OutDest3]\nId=7\n");
  AddMessages(*doc, 7);
  ASSERT_TRUE(doc->SaveMessages());
  AddMessages(*doc, 5);
  doc->m_InPorts.RemoveAt(1);
  doc->m_OutPorts.RemoveAt(2);
  doc->m_OutPorts.RemoveAt(0);
  ASSERT_TRUE(doc->SaveMessages() && doc->SaveInPorts() && doc->SaveOutPorts());
  const auto exists = [&](const char* section) {
    return PrivateProfile::SectionExists(fx.paths.configFile, section);
  };
  EXPECT_TRUE(exists("Message5"));
  for (const char* stale : {"Message6", "Message7", "InSource2", "InSource3", "OutDest2"})
    EXPECT_FALSE(exists(stale)) << stale;
  auto again = fx.LoadAgain();
  EXPECT_EQ(again->m_Messages.GetSize(), 5u);
  EXPECT_EQ(again->m_InPorts.GetSize(), 1u);
  ASSERT_EQ(again->m_OutPorts.GetSize(), 1u);
  EXPECT_EQ(again->m_OutPorts[0].m_Id, 6);
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

TEST(ConfigSave, AutoActivateAloneIsNoOutsideChange) {
  ProfileConfigFixture fx;
  auto doc = fx.Load("[Settings]\nAutoActivate=0\nMaxMessageLength=80\n");
  doc->m_AutoActivate = true;
  doc->m_MaxMessageLength = 99;  // not saved by this save
  ASSERT_TRUE(doc->SaveAutoActivate());
  EXPECT_EQ(fx.File(), "[Settings]\nAutoActivate=1\nMaxMessageLength=80\n");
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

}  // namespace
