// The mail-line queue: bounded by bytes as well as lines, and emptied in
// order before processing stops.
#include <gtest/gtest.h>

#include "util/StringTable.h"
#include "engine/EngineTestSupport.h"
#include "engine/KorvaneStubProcess.h"
#include "engine/Process.h"

namespace meldrix {
namespace {

TEST(MailLineQueueTest, BoundedByLinesAndBytes) {
  CMailLineQueue queue(3, 10);
  EXPECT_TRUE(queue.AppendAll({"12345", "678"}));
  EXPECT_FALSE(queue.AppendAll({"abc"}));  // 11 bytes
  EXPECT_TRUE(queue.Append("ab"));
  EXPECT_FALSE(queue.Append(""));  // 4 lines
  EXPECT_EQ(queue.Bytes(), 10u);
  EXPECT_EQ(queue.TakeOldest(), "12345");
  EXPECT_TRUE(queue.Append("abcde"));
  EXPECT_EQ(queue.Bytes(), 10u);
  while (queue.TakeOldest()) {
  }
  // An empty queue takes a mail larger than the bound, so it is not refused for ever.
  EXPECT_TRUE(queue.AppendAll({std::string(20, 'x')}));
  EXPECT_FALSE(queue.Append("y"));
}

// A hanging Korvane cannot hold the drain beyond its time limit; what is left
// is logged in red with its text and counted, never dropped silently.
TEST(MailQueueDrainTest, HangingKorvaneEndsTheDrainAtItsLimit) {
  SetUiLanguage(1);
  testing::KorvaneStubProcess stub({"--hang"});
  profiletest::ProfileConfigFixture config;
  auto doc = config.Load("[Korvane]\nEndpoint=" + stub.Endpoint() + "\n");
  doc->m_ShowSentMessages = 0;
  CMessage& message = doc->m_Messages.AddNew();
  message.m_Receiver = "1";
  message.PrepareFilters();
  doc->SetProcessingActive(true);
  ASSERT_TRUE(doc->GetMailLineQueue().AppendAll({"first", "second", "third"}));
  doc->DeliverBeforeDeactivation(std::chrono::milliseconds(300));
  EXPECT_TRUE(doc->GetMailLineQueue().Empty());
  EXPECT_EQ(doc->m_TotalErrors, 3u);
  std::vector<std::string> red;
  for (const auto& line : enginetest::LogLines(*doc))
    if (line.colour == kColourSendError) red.push_back(line.text);
  ASSERT_EQ(red.size(), 3u);
  EXPECT_EQ(red[1], "Not sent, processing stopped: second");
  EXPECT_EQ(red[2], "Not sent, processing stopped: third");
}

}  // namespace
}  // namespace meldrix
