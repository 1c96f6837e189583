#include "ui/QtUserInterface.h"

#include <QPushButton>
#include <vector>

#include "ui/QtText.h"

namespace meldrix {

namespace {

constexpr char kAnswerProperty[] = "meldrixAnswer";

struct ButtonSpec {
  int answer;
  QMessageBox::StandardButton standard;  // NoButton: a button of our own
  const char* textId;                    // for our own buttons
};

// The buttons of each button set (the low four style bits), left to right.
std::vector<ButtonSpec> ButtonsOf(unsigned style) {
  switch (style & 0xF) {
    case kMbOkCancel:
      return {{kIdOk, QMessageBox::Ok, nullptr}, {kIdCancel, QMessageBox::Cancel, nullptr}};
    case kMbAbortRetryIgnore:
      return {{kIdAbort, QMessageBox::Abort, nullptr},
              {kIdRetry, QMessageBox::Retry, nullptr},
              {kIdIgnore, QMessageBox::Ignore, nullptr}};
    case kMbYesNoCancel:
      return {{kIdYes, QMessageBox::Yes, nullptr},
              {kIdNo, QMessageBox::No, nullptr},
              {kIdCancel, QMessageBox::Cancel, nullptr}};
    case kMbYesNo:
      return {{kIdYes, QMessageBox::Yes, nullptr}, {kIdNo, QMessageBox::No, nullptr}};
    case kMbRetryCancel:
      return {{kIdRetry, QMessageBox::Retry, nullptr}, {kIdCancel, QMessageBox::Cancel, nullptr}};
    case kMbCancelTryContinue:
      return {{kIdCancel, QMessageBox::Cancel, nullptr},
              {kIdTryAgain, QMessageBox::NoButton, "IDS_BUTTON_TRY_AGAIN"},
              {kIdContinue, QMessageBox::NoButton, "IDS_BUTTON_CONTINUE"}};
    default:
      return {{kIdOk, QMessageBox::Ok, nullptr}};
  }
}

QMessageBox::Icon IconOf(unsigned style) {
  switch (style & 0xF0) {
    case kMbIconError: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconWarning: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// The answer of a box closed without a button (Escape, the window's close
// button, or the program ending): Cancel where the box has one, OK for a box
// with OK alone, else the default button.
int EscapeAnswerOf(unsigned style) {
  for (const ButtonSpec& spec : ButtonsOf(style))
    if (spec.answer == kIdCancel) return kIdCancel;
  if ((style & 0xF) == kMbOk) return kIdOk;
  return DefaultButtonOf(style);
}

}  // namespace

QtUserInterface::QtUserInterface(std::shared_ptr<UserInterface> fallback, std::function<bool()> ending)
    : fallback_(std::move(fallback)), ending_(std::move(ending)), owner_(std::this_thread::get_id()) {}

void QtUserInterface::Prepare(QMessageBox& box, const std::string& text, const std::string& title,
                              unsigned style) {
  box.setWindowTitle(FromCp1252(title));
  box.setText(FromCp1252(text));
  box.setIcon(IconOf(style));
  box.setTextFormat(Qt::PlainText);
  const int defaultAnswer = DefaultButtonOf(style);
  const int escapeAnswer = EscapeAnswerOf(style);
  for (const ButtonSpec& spec : ButtonsOf(style)) {
    QAbstractButton* button =
        spec.standard != QMessageBox::NoButton
            ? static_cast<QAbstractButton*>(box.addButton(spec.standard))
            : box.addButton(UiText(spec.textId), QMessageBox::AcceptRole);
    button->setProperty(kAnswerProperty, spec.answer);
    if (spec.answer == defaultAnswer) box.setDefaultButton(static_cast<QPushButton*>(button));
    if (spec.answer == escapeAnswer) box.setEscapeButton(button);
  }
}

int QtUserInterface::Answer(const QMessageBox& box, unsigned style) {
  if (QAbstractButton* clicked = box.clickedButton()) {
    QVariant answer = clicked->property(kAnswerProperty);
    if (answer.isValid()) return answer.toInt();
  }
  return EscapeAnswerOf(style);
}

int QtUserInterface::MessageBox(const std::string& text, const std::string& title, unsigned style) {
  if (std::this_thread::get_id() != owner_ || (ending_ && ending_()))
    return fallback_->MessageBox(text, title, style);
  QMessageBox box;
  Prepare(box, text, title, style);
  box.exec();
  return Answer(box, style);
}

}  // namespace meldrix
