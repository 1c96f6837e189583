#include "app/ConsoleLog.h"

#include <sstream>

#include <gtest/gtest.h>

using namespace meldrix;

namespace {
constexpr uint32_t kRed = 0x0000FF, kGreen = 0x008000;
}

TEST(ConsoleLog, PlainOutputIsUtf8AndATerminalGetsColours) {
  for (bool terminal : {false, true}) {
    CStreamDoc doc(2400, 132);
    std::ostringstream out;
    CConsoleLog console(out, terminal);
    doc.AddObserver(&console);
    doc.Write("plain\n");
    doc.SetColour(kGreen);
    doc.Write("T\xFCr 3 offen \x80\r\n");
    doc.SetColour(kRed);
    doc.Write("sent\n");
    doc.SetColour(kRed | CStreamDoc::kInverted);
    doc.Write("error\nnot yet");
    console.FlushPartialLine(doc);
    EXPECT_EQ(out.str(), terminal ? "plain\n\x1b[32mT\xC3\xBCr 3 offen \xE2\x82\xAC\x1b[0m\n\x1b[91msent\x1b[0m\n"
                                    "\x1b[91;7merror\x1b[0m\n\x1b[91;7mnot yet\x1b[0m\n"
                                  : "plain\nT\xC3\xBCr 3 offen \xE2\x82\xAC\nsent\nerror\nnot yet\n");
  }
}

TEST(ConsoleLog, TextCannotSteerTheTerminal) {
  StreamLine line;
  line.text = std::string("a\x1b[2J\x07\x7f\0b\x9D\x90x", 12);
  EXPECT_EQ(CConsoleLog::Render(line, false), "a^[[2J^G^? b<9D><90>x");
  line.colour = kRed;
  EXPECT_EQ(CConsoleLog::Render(line, true), "\x1b[91ma^[[2J^G^? b<9D><90>x\x1b[0m");
}

TEST(ConsoleLog, TheJournalGetsPrioritiesWithoutColours) {
  CStreamDoc doc(2400, 132);
  std::ostringstream out;
  CConsoleLog console(out, true);
  console.UseJournalPriorities("Message to ");
  doc.AddObserver(&console);
  doc.Write("started\n");
  doc.SetColour(kGreen);
  doc.Write("FIRE hall 3\n");
  doc.SetColour(kRed);
  doc.Write("Message to Brigade: FIRE hall 3\nCould not open message source \"Panel\"\n");
  doc.SetColour(kRed | CStreamDoc::kInverted);
  doc.Write("Message to nobody: inverted is an error\n");
  EXPECT_EQ(out.str(),
            "<6>started\n<6>FIRE hall 3\n<5>Message to Brigade: FIRE hall 3\n"
            "<3>Could not open message source \"Panel\"\n<3>Message to nobody: inverted is an error\n");
}
