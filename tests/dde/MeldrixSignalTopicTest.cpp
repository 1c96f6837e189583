// The program's topic "Signal": which commands are accepted, what reaches the
// engine, and what "Result" says afterwards.
#include <gtest/gtest.h>

#include "app/MeldrixDdeServer.h"

namespace meldrix {
namespace {

TEST(MeldrixSignalTopic, MessageIdCommands) {
  std::vector<std::string> processed;
  CMsgSignalTopic topic([&](const std::string& text) { processed.push_back(text); });
  struct Case {
    std::string command;
    std::uint16_t format;
    bool accepted;
    std::string text;
  } cases[] = {
      {"[MESSAGEID(Fire hall 2)]", CF_TEXT, true, "Fire hall 2"},
      {"  [messageid(x)]\r\n", CF_TEXT, true, "x"},
      {"[MessageId(T\xFCr)]", CF_UNICODETEXT, true, "T\xFCr"},
      {"[messageid( )]", CF_TEXT, true, " "},
      {"[messageid()]", CF_TEXT, false, ""},  // 13 characters
      {"[messageid(x)", CF_TEXT, false, ""},
      {"[messageid(x)]", 2, false, ""},  // not a text format
      {"hello", CF_TEXT, false, ""},
  };
  for (const Case& c : cases) {
    processed.clear();
    topic.Result().SetNumber(c.accepted ? 0 : 1);  // must change either way
    EXPECT_EQ(topic.OnExecute(c.format, DdeTextData(c.command, c.format)), c.accepted)
        << c.command;
    EXPECT_EQ(topic.Result().GetValue(), c.accepted ? "1" : "0") << c.command;
    EXPECT_EQ(processed, c.accepted ? std::vector<std::string>{c.text} : std::vector<std::string>{})
        << c.command;
  }
}

}  // namespace
}  // namespace meldrix
