#include "ui/LanguageDialog.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "ui/QtText.h"

namespace meldrix {

CLanguageDialog::CLanguageDialog(int current, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
  setWindowTitle(UiText("IDS_LANGUAGE_TITLE"));
  // Each language in its own name, whatever the current one.
  list_->addItems({QStringLiteral("Deutsch"), QStringLiteral("English"), QString::fromUtf8("Français")});
  list_->setCurrentRow(current >= 0 && current <= 2 ? current : 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(buttons);
}

}  // namespace meldrix
