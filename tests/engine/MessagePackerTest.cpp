#include <gtest/gtest.h>

#include "engine/MessagePacker.h"
#include "platform/Timer.h"

namespace meldrix {
namespace {

using Sends = std::vector<std::string>;

// A send that records "receivers|text" and succeeds.
auto Recorder(Sends& sent) {
  return [&sent](const std::string& receivers, const std::string& text) {
    sent.push_back(receivers + "|" + text);
    return true;
  };
}

// Texts given to one packer in turn, packed or to be sent at once.
struct Step { bool pack; const char* receivers; const char* text; };
// The sends ("receivers|text") in order, and what still waits ("" for nothing).
struct Case { const char* name; std::vector<Step> steps; Sends sent; const char* waiting; };

TEST(MessagePacker, JoinsTextsToTheSameReceiversBelowTheLimit) {
  const long kLimit = 10;  // MaxPackedLength, the joining blanks not counted
  const Case cases[] = {
      {"three texts wait together", {{true, "1", "a"}, {true, "1", "b"}, {true, "1", "c"}}, {}, "1|a b c"},
      {"other receivers send what waits",
       {{true, "1", "a"}, {true, "1", "b"}, {true, "2", "c"}}, {"1|a b"}, "2|c"},
      {"reaching the limit sends what waits",
       {{true, "1", "12345"}, {true, "1", "1234"}, {true, "1", "x"}}, {"1|12345 1234"}, "1|x"},
      {"unpacked text joins what waits", {{true, "1", "a"}, {false, "1", "b"}}, {"1|a b"}, ""},
      {"unpacked text to others goes after what waits", {{true, "1", "a"}, {false, "2", "b"}}, {"1|a", "2|b"}, ""},
      {"unpacked text too long to join", {{true, "1", "12345"}, {false, "1", "12345"}}, {"1|12345", "1|12345"}, ""},
      {"unpacked text alone", {{false, "1", "a"}}, {"1|a"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CMessagePacker packer;
    Sends sent;
    auto send = Recorder(sent);
    for (const Step& step : c.steps) EXPECT_TRUE(packer.Add(step.receivers, step.text, step.pack, kLimit, send));
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(packer.HasPackedMessage() ? packer.Receivers() + "|" + packer.Text() : "", c.waiting);
    EXPECT_EQ(packer.Timer() != 0, packer.HasPackedMessage());  // clearing clears the timer
  }
}

TEST(MessagePacker, FailedSendsAreReportedAndStillClearWhatWaited) {
  CMessagePacker packer;
  int calls = 0;
  auto failing = [&](const std::string&, const std::string&) { return ++calls == 0; };
  EXPECT_TRUE(packer.Add("1", "a", true, 160, failing));
  EXPECT_FALSE(packer.Add("2", "b", true, 160, failing));  // "a" failed, "b" waits
  EXPECT_EQ(packer.Text(), "b");
  EXPECT_FALSE(packer.Add("2", "c", false, 160, failing));
  EXPECT_FALSE(packer.HasPackedMessage());
  packer.Add("3", "d", true, 160, failing);
  packer.Flush(failing);
  EXPECT_FALSE(packer.HasPackedMessage());
  EXPECT_EQ(calls, 3);
}

TEST(MessagePacker, SentTenSecondsAfterTheLastText) {
  ScopedFakeClock clock;
  CMessagePacker packer;
  Sends sent;
  auto send = Recorder(sent);
  packer.Add("1", "a", true, 160, send);
  clock->Advance(9000);
  packer.Add("1", "b", true, 160, send);  // restarts the timer
  clock->Advance(9999);
  packer.FlushWhenDue(send);
  EXPECT_TRUE(sent.empty());
  clock->Advance(1);
  packer.FlushWhenDue(send);
  packer.FlushWhenDue(send);
  EXPECT_EQ(sent, (Sends{"1|a b"}));
  EXPECT_EQ(packer.Timer(), 0u);
}

}  // namespace
}  // namespace meldrix
