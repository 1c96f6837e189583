#include "ui/TextDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

namespace meldrix {

CTextDialog::CTextDialog(const QString& title, const QString& note, const QString& text, QWidget* parent)
    : QDialog(parent), text_(new QPlainTextEdit(this)) {
  setWindowTitle(title);
  text_->setReadOnly(true);
  text_->setPlainText(text);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  if (!note.isEmpty()) {
    auto* label = new QLabel(note, this);
    label->setWordWrap(true);
    layout->addWidget(label);
  }
  layout->addWidget(text_);
  layout->addWidget(buttons);
  resize(640, 420);
}

}  // namespace meldrix
