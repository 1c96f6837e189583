// A read-only text in a dialog: the overview, the settings a setup edits,
// the system information.
#pragma once

#include <QDialog>
#include <QPlainTextEdit>

namespace meldrix {

class CTextDialog : public QDialog {
  Q_OBJECT

 public:
  CTextDialog(const QString& title, const QString& note, const QString& text, QWidget* parent = nullptr);
  QString Text() const { return text_->toPlainText(); }

 private:
  QPlainTextEdit* text_;
};

}  // namespace meldrix
