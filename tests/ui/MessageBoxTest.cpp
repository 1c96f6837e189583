// Message boxes: style bits to buttons, icon and default button, the button
// pressed to the Windows answer code; and a box opened inside the engine
// holds the engine's loop until it is answered.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "ui/EnginePump.h"
#include "ui/QtUserInterface.h"
#include "ui/UiTestSupport.h"

namespace meldrix::testing {
namespace {

std::vector<int> AnswersOf(const QMessageBox& box) {
  std::vector<int> answers;
  for (QAbstractButton* button : box.buttons()) answers.push_back(button->property("meldrixAnswer").toInt());
  std::sort(answers.begin(), answers.end());
  return answers;
}

TEST(MessageBoxTest, StyleBitsGiveButtonsIconDefaultAndAnswers) {
  const struct {
    unsigned style;
    std::vector<int> answers;  // sorted
    QMessageBox::Icon icon;
    int defaultAnswer;
    int closedAnswer;  // closed without a button
  } cases[] = {
      {kMbOk, {kIdOk}, QMessageBox::NoIcon, kIdOk, kIdOk},
      {kMbOkCancel | kMbIconError | kMbDefButton2, {kIdOk, kIdCancel}, QMessageBox::Critical, kIdCancel, kIdCancel},
      {kMbAbortRetryIgnore | kMbIconWarning | kMbDefButton3, {kIdAbort, kIdRetry, kIdIgnore}, QMessageBox::Warning,
       kIdIgnore, kIdIgnore},
      {kMbYesNoCancel | kMbIconQuestion, {kIdCancel, kIdYes, kIdNo}, QMessageBox::Question, kIdYes, kIdCancel},
      {kMbYesNo | kMbIconInformation | kMbDefButton2, {kIdYes, kIdNo}, QMessageBox::Information, kIdNo, kIdNo},
      {kMbRetryCancel, {kIdCancel, kIdRetry}, QMessageBox::NoIcon, kIdRetry, kIdCancel},
      {kMbCancelTryContinue | kMbDefButton3, {kIdCancel, kIdTryAgain, kIdContinue}, QMessageBox::NoIcon,
       kIdContinue, kIdCancel},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    QMessageBox box;
    QtUserInterface::Prepare(box, "Text \xE4", "Title", c.style);
    EXPECT_EQ(box.text(), QString::fromUtf8("Text ä"));
    EXPECT_EQ(AnswersOf(box), c.answers);
    EXPECT_EQ(box.icon(), c.icon);
    ASSERT_NE(box.defaultButton(), nullptr);
    EXPECT_EQ(box.defaultButton()->property("meldrixAnswer").toInt(), c.defaultAnswer);
    EXPECT_EQ(QtUserInterface::Answer(box, c.style), c.closedAnswer);
    for (QAbstractButton* button : box.buttons()) {
      QMessageBox clicked;
      QtUserInterface::Prepare(clicked, "Text", "Title", c.style);
      QTimer::singleShot(0, &clicked, [&clicked, answer = button->property("meldrixAnswer")] {
        for (QAbstractButton* b : clicked.buttons())
          if (b->property("meldrixAnswer") == answer) b->click();
      });
      clicked.exec();
      EXPECT_EQ(QtUserInterface::Answer(clicked, c.style), button->property("meldrixAnswer").toInt());
    }
  }
}

// As an expression's MESSAGEBOX does during a delivery pass: the box waits,
// Qt goes on, but neither the engine's timers nor its descriptors run until
// the user answers; then they do.
TEST(MessageBoxTest, BoxInsideTheEngineHoldsItsLoop) {
  EventLoop loop;
  CEnginePump pump(loop);
  QtUserInterface ui(std::make_shared<ConsoleUserInterface>());
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  bool timerRan = false, watchRan = false, ranWhileOpen = true, qtRanWhileOpen = false;
  int answer = 0;
  loop.Watch(fds[0], POLLIN, [&](short) {
    char byte;
    if (::read(fds[0], &byte, 1) == 1) watchRan = true;
  });
  loop.StartTimer(0, [&] {
    loop.StartTimer(10, [&] { timerRan = true; });
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    QTimer::singleShot(10, [&] { qtRanWhileOpen = true; });
    QTimer::singleShot(400, [&] {
      ranWhileOpen = timerRan || watchRan;
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->button(QMessageBox::Yes)->click();
    });
    answer = ui.MessageBox("Open the gate?", "Meldrix", kMbYesNo | kMbIconQuestion | kMbDefButton2);
  });
  pump.Schedule();
  EXPECT_TRUE(QTest::qWaitFor([&] { return timerRan && watchRan; }, kUiTimeoutMs));
  EXPECT_EQ(answer, kIdYes);
  EXPECT_TRUE(qtRanWhileOpen);
  EXPECT_FALSE(ranWhileOpen);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace meldrix::testing
