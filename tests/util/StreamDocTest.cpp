#include "util/StreamDoc.h"

#include <thread>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace meldrix;
using ::testing::ElementsAre;

namespace {

constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kGreen = 0x008000;

std::vector<std::string> Texts(const CStreamDoc& doc) {
  std::vector<std::string> texts;
  for (int row = 0; row < doc.LineCount(); ++row) texts.push_back(doc.Line(row).text);
  return texts;
}

class Recorder : public CStreamObserver {
 public:
  void LineCompleted(const StreamLine& line) override { lines.push_back(line); }
  void Cleared() override { ++clears; }
  void Changed() override { ++changes; }
  std::vector<StreamLine> lines;
  int clears = 0;
  int changes = 0;
};

}  // namespace

TEST(StreamDoc, RingKeepsTheNewestLines) {
  CStreamDoc doc(2400, 132);
  doc.Write("L0");
  for (int i = 1; i <= 2400; ++i) doc.Write("\nL" + std::to_string(i));
  EXPECT_EQ(doc.LineCount(), 2400);
  EXPECT_EQ(doc.Line(0).text, "L1");
  EXPECT_EQ(doc.Line(2399).text, "L2400");
  EXPECT_EQ(doc.CurrentRow(), 2399);
  EXPECT_EQ(doc.Line(2400).text, "");
  EXPECT_EQ(doc.Line(-1).text, "");
  // Serials keep counting across the dropped line.
  EXPECT_EQ(doc.Line(2399).serial - doc.Line(0).serial, 2399u);
  EXPECT_EQ(doc.FirstSerial(), doc.Line(0).serial);
}

TEST(StreamDoc, WrapSwallowsTheLineFeedThatFollows) {
  CStreamDoc doc(10, 132);
  doc.Write(std::string(140, 'x') + "\nnext\n");
  EXPECT_THAT(Texts(doc), ElementsAre(std::string(132, 'x'), std::string(8, 'x'), "next", ""));
  // Exactly a full line then a line feed: still no empty line.
  doc.Clear();
  doc.Write(std::string(132, 'y') + "\nz");
  EXPECT_THAT(Texts(doc), ElementsAre(std::string(132, 'y'), "z"));
}

TEST(StreamDoc, TabBackspaceAndCarriageReturn) {
  CStreamDoc doc(10, 20);
  const std::tuple<std::string, int, std::string> steps[] = {  // written, row, its text then
      {"A\tB\n", 0, "A       B"}, {"\tX\n", 1, std::string(8, ' ') + "X"}, {"abc\b\bZ\n", 2, "aZ "},
      {"\b\bq\n", 3, "q"},  // at column 0 backspace does nothing
      {"hello\rJ\n", 4, "Jello"},
      {std::string(17, '-') + "\t|", 5, std::string(17, '-') + "   "},  // a tab never runs past the line width
      {"", 6, "|"}};
  for (const auto& [bytes, row, text] : steps) {
    doc.Write(bytes);
    EXPECT_EQ(doc.Line(row).text, text) << bytes;
  }
}

TEST(StreamDoc, ColoursFollowSetColourAndNewLines) {
  CStreamDoc doc(10, 80);
  doc.Write("default\n");
  doc.Write("partly ");
  doc.SetColour(kGreen);  // recolours the current line too
  doc.Write("green\nstill green\n");
  doc.SetColour(kRed | CStreamDoc::kInverted);
  doc.Write("error\n");
  std::vector<uint32_t> colours;
  for (int row = 0; row < doc.LineCount(); ++row) colours.push_back(doc.Line(row).colour);
  EXPECT_THAT(colours, ElementsAre(0u, kGreen, kGreen, kRed | CStreamDoc::kInverted, kRed | CStreamDoc::kInverted));
  doc.SetColour(kGreen);
  doc.Clear(132);  // a new width; the colour stays
  EXPECT_EQ(doc.Width(), 132);
  EXPECT_THAT(Texts(doc), ElementsAre(""));
  EXPECT_EQ(doc.Line(0).colour, kGreen);
}

TEST(StreamDoc, EscapeSequencesWhenEnabled) {
  CStreamDoc doc(10, 40, false, true);
  doc.Write("a\x1b[1mgrey\n");
  EXPECT_EQ(doc.Line(0).text, "agrey");
  EXPECT_EQ(doc.Line(0).colour, CStreamDoc::kGrey);
  doc.Write("\x1b[7minv\n\x1b[0mplain\n");
  EXPECT_EQ(doc.Line(1).colour, CStreamDoc::kInverted);
  EXPECT_EQ(doc.Line(2).colour, 0u);
  // Unknown sequences vanish without effect.
  doc.Write("x\x1b[5mx\x1b[?25lx\n");
  EXPECT_EQ(doc.Line(3).text, "xxx");
  // Cursor positioning counts rows from the oldest line, columns from 0.
  doc.Write("\x1b[1;2HZ\x1b[0HY");
  EXPECT_EQ(doc.Line(1).text, "inZ");
  EXPECT_EQ(doc.Line(0).text, "Ygrey");
  // Out-of-range positions are clamped, not written outside the store.
  doc.Write("\x1b[99999999999;99999999999H!");
  EXPECT_EQ(doc.CurrentRow(), 9);
  EXPECT_EQ(doc.Line(9).text, "!");
  doc.Write("\x1b[2J");
  EXPECT_EQ(doc.LineCount(), 1);
  EXPECT_EQ(doc.Line(0).text, "");
}

TEST(StreamDoc, EscapeCutAcrossWritesAndBrokenSequences) {
  CStreamDoc doc(10, 40, false, true);
  doc.Write("one\n\x1b[");
  doc.Write("2");
  doc.Write("J");
  EXPECT_EQ(doc.LineCount(), 1);
  // A line feed inside a sequence ends it and still starts the line.
  doc.Write("a\x1b[12\nb\n");
  EXPECT_THAT(Texts(doc), ElementsAre("a", "b", ""));
  // An endless sequence is dropped after a bounded length; text after it survives.
  CStreamDoc wide(10, 2000, false, true);
  wide.Write("\x1b" + std::string(1000, '1') + "ok");
  EXPECT_EQ(wide.Line(0).text, std::string(1000 - 33, '1') + "ok");
}

TEST(StreamDoc, PlainBytesScreenModeAndFormattedText) {
  CStreamDoc doc(10, 40);
  doc.Write(std::string("\x1b[2Jkept a\0b", 12));  // escapes off: stored as they are
  EXPECT_EQ(doc.Line(0).text, std::string("\x1b[2Jkept a\0b", 12));
  CStreamDoc screen(3, 5, true);
  screen.Write("ab");
  EXPECT_EQ(screen.Line(0).text, "ab   ");  // screen mode fills with blanks
  screen.Write("\n1\n2\n3");
  EXPECT_THAT(Texts(screen), ElementsAre("1    ", "2    ", "3    "));
  CStreamDoc formatted(100, 80);
  formatted.WriteFormatted("Message to %s: %d%%\n", "Team A", 42);
  formatted.WriteFormatted("%s", std::string(5000, 'w').c_str());
  EXPECT_EQ(formatted.Line(0).text, "Message to Team A: 42%");
  EXPECT_EQ(formatted.Line(1).text, std::string(80, 'w'));
}

TEST(StreamDoc, ObserverSeesCompletedLinesAndClears) {
  CStreamDoc doc(3, 10);
  Recorder recorder;
  doc.AddObserver(&recorder);
  doc.SetColour(kRed);
  doc.Write("one\ntwo\nthree\nfour and more");
  std::vector<std::string> texts;
  for (const StreamLine& line : recorder.lines) texts.push_back(line.text);
  ASSERT_THAT(texts, ElementsAre("one", "two", "three", "four and m"));  // the last one wrapped
  EXPECT_EQ(recorder.lines[0].colour, kRed);
  EXPECT_EQ(recorder.lines[3].serial, recorder.lines[0].serial + 3);
  EXPECT_GT(recorder.changes, 0);
  doc.Clear();
  EXPECT_EQ(recorder.clears, 1);
  doc.RemoveObserver(&recorder);
  doc.Write("x\n");
  EXPECT_EQ(recorder.lines.size(), 4u);
}

TEST(StreamDoc, WritersOnSeveralThreadsKeepLinesWhole) {
  CStreamDoc doc(2400, 132);
  Recorder recorder;
  doc.AddObserver(&recorder);
  auto writer = [&doc](char c) {
    for (int i = 0; i < 300; ++i) doc.Write(std::string(50, c) + "\n");
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  ASSERT_EQ(recorder.lines.size(), 600u);
  for (const StreamLine& line : recorder.lines) {
    ASSERT_EQ(line.text.size(), 50u);
    EXPECT_EQ(line.text.find_first_not_of(line.text[0]), std::string::npos) << line.text;
  }
}
