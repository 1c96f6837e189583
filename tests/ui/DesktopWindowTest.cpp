// The main window on a real engine: what the log view draws, and the
// commands that change the engine's state or ask for the password.
#include <gtest/gtest.h>

#include <QScrollBar>

#include "engine/Process.h"
#include "platform/PrivateProfile.h"
#include "sources/SocketClient.h"
#include "support/FreePort.h"
#include "ui/UiTestSupport.h"
#include "util/StringTable.h"

namespace meldrix::testing {
namespace {

// The row of the first log line holding `text` in `colour`, or -1.
int RowOf(CStreamDoc& log, const std::string& text, std::uint32_t colour) {
  for (int row = 0; row < log.LineCount(); ++row) {
    StreamLine line = log.Line(row);
    if (line.colour == colour && line.text.find(text) != std::string::npos) return row;
  }
  return -1;
}

QRect RowBand(const CStreamView& view, int row) {
  const int top = (row - view.verticalScrollBar()->value()) * view.LineHeight();
  return QRect(0, top, view.viewport()->width(), view.LineHeight());
}

std::string SmtpPortSetting() { return "[MailServer]\nSmtpPort=" + std::to_string(FreePort()) + "\n"; }

TEST(DesktopWindowTest, SocketMessageIsDrawnGreenAndItsCommandRed) {
  const int port = FreePort();
  DesktopHarness desk("[Settings]\nAutoActivate=1\n" + SmtpPortSetting() +
                      "[InSource1]\nName=Net\nSource=5\nSocketPort=" + std::to_string(port) +
                      "\n[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\nText=Alarm {{$MESSAGE}}\n");
  ASSERT_TRUE(desk.Engine().IsActive());
  EXPECT_TRUE(desk.Frame().Action(CMainFrame::Command::Activate)->isChecked());
  CSocketClient client;
  ASSERT_TRUE(QTest::qWaitFor([&] { return client.Connect("127.0.0.1", static_cast<std::uint16_t>(port), 500); },
                              kUiTimeoutMs));
  ASSERT_TRUE(client.Send("fire in hall 3\r\n"));
  CStreamDoc& log = desk.Engine().Log();
  ASSERT_TRUE(QTest::qWaitFor([&] { return RowOf(log, "Alarm fire in hall 3", kColourSent) >= 0; }, kUiTimeoutMs));
  // The status bar follows the counters.
  ASSERT_TRUE(QTest::qWaitFor([&] { return desk.Frame().CounterLabel(1)->text() == " 1"; }, kUiTimeoutMs));
  EXPECT_EQ(desk.Frame().CounterLabel(0)->text(), " 1");
  EXPECT_EQ(desk.Frame().CounterLabel(2)->text(), " 0");
  EXPECT_EQ(desk.Frame().CounterLabel(1)->toolTip(), QString::fromStdString(LoadText("IDS_SENT_MESSAGES")));

  CMeldrixView& view = *desk.Frame().View();
  view.Refresh();
  QTest::qWait(50);
  const QImage image = view.viewport()->grab().toImage();
  image.save(QString::fromStdString(ArtefactPath("socket-message.png")));
  const int received = RowOf(log, "fire in hall 3", kColourMatched);
  const int sent = RowOf(log, "Alarm fire in hall 3", kColourSent);
  ASSERT_GE(received, 0);
  ASSERT_GT(sent, received);
  const QColor green(0, 128, 0), red(255, 0, 0);
  EXPECT_GT(PixelsNear(image, RowBand(view, received), green), 20);
  EXPECT_EQ(PixelsNear(image, RowBand(view, received), red), 0);
  EXPECT_GT(PixelsNear(image, RowBand(view, sent), red), 20);
  EXPECT_EQ(PixelsNear(image, RowBand(view, sent), green), 0);
}

TEST(DesktopWindowTest, InvertedAndMarkedLinesAsDrawn) {
  DesktopHarness desk("[Settings]\nAutoActivate=0\n");
  CStreamDoc& log = desk.Engine().Log();
  log.SetColour(kColourSendError);
  log.Write("ERROR: not sent\n");
  log.SetColour(kColourMatched | CStreamDoc::kMarked);
  log.Write("marked line\n");
  log.SetColour(0);
  CMeldrixView& view = *desk.Frame().View();
  view.Refresh();
  QTest::qWait(50);
  const QImage image = view.viewport()->grab().toImage();
  image.save(QString::fromStdString(ArtefactPath("inverted-and-marked.png")));
  const QColor window = view.palette().color(QPalette::Base);
  const QRect inverted = RowBand(view, RowOf(log, "ERROR: not sent", kColourSendError));
  const QRect marked = RowBand(view, RowOf(log, "marked line", kColourMatched | CStreamDoc::kMarked));
  const int area = inverted.width() * inverted.height();
  // Window-coloured text on red: red fills most of the row, the text is in
  // the window's colour.
  EXPECT_GT(PixelsNear(image, inverted, QColor(255, 0, 0), 10), area * 3 / 4);
  EXPECT_GT(PixelsNear(image, inverted, window, 10), 10);
  // Green text on yellow.
  EXPECT_GT(PixelsNear(image, marked, QColor(255, 255, 0), 10), area * 3 / 4);
  EXPECT_GT(PixelsNear(image, marked, QColor(0, 128, 0)), 10);
}

std::unique_ptr<CMeldrixRights> Protection(const std::string& password, std::uint32_t mask) {
  auto rights = std::make_unique<CMeldrixRights>();
  rights->SetPassword(password);
  rights->SetMask(mask);
  return rights;
}

TEST(DesktopWindowTest, ActivateTogglesAndAsksForThePasswordWhenProtected) {
  DesktopHarness desk("[Settings]\nAutoActivate=0\n" + SmtpPortSetting(), Protection("secret", 0xFFFFFFFFu));
  QAction* activate = desk.Frame().Action(CMainFrame::Command::Activate);
  ASSERT_TRUE(activate->isEnabled());
  ASSERT_FALSE(desk.Engine().IsActive());

  desk.prompt.answers.push("Secret");  // case matters
  activate->trigger();
  EXPECT_EQ(desk.prompt.incorrect, 1);
  EXPECT_FALSE(desk.Engine().IsActive());
  EXPECT_FALSE(activate->isChecked());

  desk.prompt.answers.push("secret");
  activate->trigger();
  EXPECT_TRUE(desk.Engine().IsActive());
  EXPECT_TRUE(activate->isChecked());
  // Activation went through the main loop: Korvane hears about it.
  EXPECT_TRUE(QTest::qWaitFor([&] {
    auto journal = desk.Journal();
    return std::find(journal.begin(), journal.end(), "[check(Meldrix)]") != journal.end();
  }, kUiTimeoutMs));

  activate->trigger();  // cancelled prompt: nothing changes
  EXPECT_TRUE(desk.Engine().IsActive());
  EXPECT_TRUE(activate->isChecked());
  EXPECT_EQ(desk.prompt.asked, 3);

  // Without bit 2 no prompt.
  desk.Rights()->SetMask(0xFFFFFFFFu & ~(1u << kRightActivate));
  activate->trigger();
  EXPECT_FALSE(desk.Engine().IsActive());
  EXPECT_FALSE(activate->isChecked());
  EXPECT_EQ(desk.prompt.asked, 3);
}

TEST(DesktopWindowTest, ClosingIsRefusedWithAWrongPassword) {
  DesktopHarness desk("[Settings]\nAutoActivate=0\n", Protection("secret", 0xFFFFFFFFu));
  desk.prompt.answers.push("wrong");
  EXPECT_FALSE(desk.Frame().close());
  EXPECT_TRUE(desk.Frame().isVisible());
  EXPECT_FALSE(desk.Loop().Quitting());
  EXPECT_EQ(desk.prompt.incorrect, 1);

  desk.prompt.answers.push("secret");
  desk.Frame().close();
  EXPECT_TRUE(desk.Loop().Quitting());
  EXPECT_EQ(desk.Loop().ExitCode(), 0);
}

TEST(DesktopWindowTest, LanguageSwitchChangesTheMenusAndIsStored) {
  DesktopHarness desk("[Settings]\nAutoActivate=0\n");
  CMainFrame& frame = desk.Frame();
  QAction* activate = frame.Action(CMainFrame::Command::Activate);
  const struct {
    int index;
    const char* activateText;
    const char* prompt;
  } cases[] = {
      {0, "&Aktivieren", "Aktiviert Empfang, Auswertung und Ausgabe der Nachrichten"},
      {2, "&Activer", "Active la réception, l'analyse et la sortie des messages"},
      {1, "&Activate", "Activates message receiving, scanning and output"},
  };
  for (const auto& c : cases) {
    frame.SetLanguage(c.index);
    EXPECT_EQ(activate->text(), QString::fromUtf8(c.activateText));
    EXPECT_EQ(activate->statusTip(), QString::fromUtf8(c.prompt));
    EXPECT_EQ(PrivateProfile::GetInt(desk.ConfigFile(), "Settings", "Language", -1), c.index);
    // Our own write is not an outside change that would reload everything.
    EXPECT_FALSE(desk.Engine().ConfigurationChanged());
  }
  EXPECT_EQ(frame.Action(CMainFrame::Command::Overview)->statusTip(),
            "Shows an overview of current message sources and output");
}

}  // namespace
}  // namespace meldrix::testing
