#include "app/ConsoleLog.h"

#include <sstream>

#include <gtest/gtest.h>

using namespace meldrix;

namespace {
constexpr uint32_t kRed = 0x0000FF, kGreen = 0x008000, kBlue = 0xFF0000;
}

TEST(ConsoleLog, PlainOutputIsUtf8WithoutEscapes) {
  CStreamDoc doc(2400, 132);
  std::ostringstream out;
  CConsoleLog console(out, false);
  doc.AddObserver(&console);
  doc.SetColour(kGreen);
  doc.Write("T\xFCr 3 offen \x80\r\n");
  doc.SetColour(kRed | CStreamDoc::kInverted);
  doc.Write("Fehler\n");
  doc.Write("not yet");
  EXPECT_EQ(out.str(), "T\xC3\xBCr 3 offen \xE2\x82\xAC\nFehler\n");
  console.FlushPartialLine(doc);
  EXPECT_EQ(out.str(), "T\xC3\xBCr 3 offen \xE2\x82\xAC\nFehler\nnot yet\n");
}

TEST(ConsoleLog, TerminalOutputHasColours) {
  CStreamDoc doc(2400, 132);
  std::ostringstream out;
  CConsoleLog console(out, true);
  doc.AddObserver(&console);
  doc.Write("plain\n");
  doc.SetColour(kGreen);
  doc.Write("in\n");
  doc.SetColour(kRed);
  doc.Write("sent\n");
  doc.SetColour(kRed | CStreamDoc::kInverted);
  doc.Write("error\n");
  EXPECT_EQ(out.str(),
            "plain\n"
            "\x1b[32min\x1b[0m\n"
            "\x1b[91msent\x1b[0m\n"
            "\x1b[91;7merror\x1b[0m\n");
}

TEST(ConsoleLog, NearestAnsiColours) {
  EXPECT_EQ(CConsoleLog::AnsiStyle(0), "");
  EXPECT_EQ(CConsoleLog::AnsiStyle(kBlue), "\x1b[94m");
  EXPECT_EQ(CConsoleLog::AnsiStyle(CStreamDoc::kGrey), "\x1b[90m");
  EXPECT_EQ(CConsoleLog::AnsiStyle(0x000080), "\x1b[31m");       // dark red
  EXPECT_EQ(CConsoleLog::AnsiStyle(0x10F0F0), "\x1b[93m");       // nearly yellow
  EXPECT_EQ(CConsoleLog::AnsiStyle(CStreamDoc::kInverted), "\x1b[7m");
  EXPECT_EQ(CConsoleLog::AnsiStyle(kRed | CStreamDoc::kMarked), "\x1b[91;103m");
  EXPECT_EQ(CConsoleLog::AnsiStyle(CStreamDoc::kMarked), "\x1b[30;103m");
}

TEST(ConsoleLog, TextCannotSteerTheTerminal) {
  StreamLine line;
  line.text = std::string("a\x1b[2J\x07\x7f\0b\x9D\x90x", 12);
  EXPECT_EQ(CConsoleLog::Render(line, false), "a^[[2J^G^? b<9D><90>x");
  line.colour = kRed;
  EXPECT_EQ(CConsoleLog::Render(line, true), "\x1b[91ma^[[2J^G^? b<9D><90>x\x1b[0m");
}
