// The commands that show texts or talk to Korvane, and the help window.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

#include "ui/HelpWindow.h"
#include "ui/SystemInfo.h"
#include "ui/TextDialog.h"
#include "ui/UiTestSupport.h"

namespace meldrix::testing {
namespace {

// Runs `command` and returns the text of the dialog it opens (then closed).
QString DialogTextOf(CMainFrame& frame, CMainFrame::Command command) {
  QString text;
  QTimer::singleShot(0, [&] {
    if (auto* dialog = qobject_cast<CTextDialog*>(QApplication::activeModalWidget())) {
      text = dialog->Text();
      dialog->reject();
    }
  });
  frame.Action(command)->trigger();
  return text;
}

TEST(DesktopCommandsTest, KorvaneSetupOverviewSystemInformationAndClear) {
  DesktopHarness desk("[Settings]\nAutoActivate=0\nPassword=ABC\n[InSource1]\nName=Drop\nSource=2\nFile=/tmp/x/*.txt\n"
                      "[Message1]\nName=All\nReceiver=4711\n");
  CMainFrame& frame = desk.Frame();
  frame.Action(CMainFrame::Command::ReceiverSetup)->trigger();
  frame.Action(CMainFrame::Command::VoiceMessages)->trigger();
  const auto journal = desk.Journal();
  EXPECT_NE(std::find(journal.begin(), journal.end(), "[setup(E)]"), journal.end());
  EXPECT_NE(std::find(journal.begin(), journal.end(), "[setup(V)]"), journal.end());

  EXPECT_TRUE(DialogTextOf(frame, CMainFrame::Command::Overview).contains("/tmp/x/*.txt"));
  EXPECT_TRUE(DialogTextOf(frame, CMainFrame::Command::SystemInformation)
                  .contains(QString::fromStdString(desk.ConfigFile())));

  desk.Engine().Log().Write("some line\n");
  frame.Action(CMainFrame::Command::Clear)->trigger();
  EXPECT_EQ(desk.Engine().Log().LineCount(), 1);
  EXPECT_EQ(desk.Engine().Log().Line(0).text, "");
}

void Mouse(QWidget* target, QEvent::Type type, QPoint at) {
  QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

TEST(DesktopCommandsTest, ViewFollowsTheNewestLineUnlessScrolledUpAndCopiesTheSelection) {
  DesktopHarness desk("[Settings]\nAutoActivate=0\n");
  CStreamDoc& log = desk.Engine().Log();
  CMeldrixView& view = *desk.Frame().View();
  log.Clear();
  log.Write("alpha\nbeta\n");
  view.Refresh();
  // Drag from the start of "alpha" to the third column of "beta".
  const int h = view.LineHeight();
  const int w = QFontMetrics(view.LogFont()).horizontalAdvance('M');
  Mouse(view.viewport(), QEvent::MouseButtonPress, QPoint(w + 1, h / 2));
  Mouse(view.viewport(), QEvent::MouseMove, QPoint(w + 2 * w + 1, h + h / 2));
  Mouse(view.viewport(), QEvent::MouseButtonRelease, QPoint(w + 2 * w + 1, h + h / 2));
  EXPECT_EQ(view.SelectedText(), "alpha\nbe");
  QApplication::clipboard()->clear();
  QTest::keySequence(&view, QKeySequence::Copy);
  EXPECT_EQ(QApplication::clipboard()->text(), "alpha\nbe");

  QScrollBar* bar = view.verticalScrollBar();
  for (int i = 0; i < 300; ++i) log.Write("line " + std::to_string(i) + "\n");
  view.Refresh();
  EXPECT_EQ(bar->value(), bar->maximum());
  bar->setValue(10);  // the user scrolls up: the view stays where it is
  for (int i = 0; i < 50; ++i) log.Write("more\n");
  view.Refresh();
  EXPECT_EQ(bar->value(), 10);
  EXPECT_FALSE(view.FollowsNewest());
  bar->setValue(bar->maximum());  // back at the end: it follows again
  log.Write("newest\n");
  view.Refresh();
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(view.SelectedText().left(5), "alpha");  // the selection kept its lines
}

TEST(DesktopCommandsTest, HelpShowsTheConfiguredPageOrTheBuiltInOne) {
  TempFolder folder;
  std::filesystem::create_directories(folder.File("Meldrix"));
  WriteFile(folder.File("Meldrix/Index.htm"), "<html><body><h1>Site help</h1></body></html>");
  CHelpWindow help;
  EXPECT_TRUE(help.ShowIndex(folder.Path(), "Meldrix\\Index.htm", 1));
  EXPECT_TRUE(help.Browser()->toPlainText().contains("Site help"));
  EXPECT_FALSE(help.ShowIndex(folder.Path(), "Missing\\Index.htm", 0));
  EXPECT_TRUE(help.Browser()->toPlainText().contains(QString::fromUtf8("Ausdrücke")));
  EXPECT_FALSE(help.ShowIndex(folder.Path(), "Missing\\Index.htm", 2));
  for (const char* topic : {"Message sources", "Messages and filters", "Expressions", "Outputs"})
    EXPECT_TRUE(help.Browser()->toPlainText().contains(topic)) << topic;
}

}  // namespace
}  // namespace meldrix::testing
