#include "ui/PasswordDialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>

#include "platform/UserInterface.h"
#include "ui/QtText.h"

namespace meldrix {

namespace {

QLineEdit* PasswordField(QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setEchoMode(QLineEdit::Password);
  return field;
}

QDialogButtonBox* OkCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

QLabel* BuddyLabel(const char* id, QWidget* buddy) {
  auto* label = new QLabel(UiText(id));
  label->setBuddy(buddy);
  return label;
}

}  // namespace

CPasswordPromptDialog::CPasswordPromptDialog(QWidget* parent)
    : QDialog(parent), field_(PasswordField(this)) {
  setWindowTitle(UiText("IDS_PASSWORD_PROMPT_TITLE"));
  auto* form = new QFormLayout(this);
  form->addRow(BuddyLabel("IDS_PASSWORD_LABEL", field_), field_);
  form->addRow(OkCancel(this));
}

CPasswordSetupDialog::CPasswordSetupDialog(const CMeldrixRights* rights, QWidget* parent)
    : QDialog(parent),
      input_(PasswordField(this)),
      repeat_(PasswordField(this)),
      setup_(new QCheckBox(UiText("IDS_PASSWORD_CHECK_SETUP"), this)),
      activate_(new QCheckBox(UiText("IDS_PASSWORD_CHECK_ACTIVATE"), this)),
      terminate_(new QCheckBox(UiText("IDS_PASSWORD_CHECK_TERMINATE"), this)) {
  setWindowTitle(UiText("IDS_PASSWORD_SETUP_TITLE"));
  auto* form = new QFormLayout(this);
  form->addRow(BuddyLabel("IDS_PASSWORD_INPUT", input_), input_);
  form->addRow(BuddyLabel("IDS_PASSWORD_REPEAT", repeat_), repeat_);
  form->addRow(setup_);
  form->addRow(activate_);
  form->addRow(terminate_);
  form->addRow(OkCancel(this));
  if (rights != nullptr) {
    input_->setText(FromCp1252(rights->Password()));
    repeat_->setText(FromCp1252(rights->Password()));
    setup_->setChecked((rights->Mask() & kSetupRightsMask) != 0);
    activate_->setChecked(rights->IsProtected(kRightActivate));
    terminate_->setChecked(rights->IsProtected(kRightTerminate));
  } else {
    setup_->setChecked(true);
    terminate_->setChecked(true);
  }
}

void CPasswordSetupDialog::accept() {
  if (input_->text() != repeat_->text()) {
    QMessageBox::warning(this, FromCp1252(kApplicationName), UiText("IDS_PASSWORD_MISMATCH"));
    input_->setFocus();
    return;
  }
  QDialog::accept();
}

std::unique_ptr<CMeldrixRights> CPasswordSetupDialog::Result() const {
  std::string password = ToCp1252(input_->text());
  if (password.empty()) return nullptr;
  auto rights = std::make_unique<CMeldrixRights>();
  rights->SetPassword(password);
  std::uint32_t mask = 0xFFFFFFFFu;
  if (!terminate_->isChecked()) mask &= ~(1u << kRightTerminate);
  if (!setup_->isChecked()) mask &= ~kSetupRightsMask;
  if (!activate_->isChecked()) mask &= ~(1u << kRightActivate);
  rights->SetMask(mask);
  return rights;
}

std::optional<std::string> CDialogPasswordPrompt::AskPassword() {
  CPasswordPromptDialog dialog(parent_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return ToCp1252(dialog.Field()->text());
}

void CDialogPasswordPrompt::ShowIncorrect() {
  QMessageBox::warning(parent_, FromCp1252(kApplicationName), UiText("IDS_PASSWORD_INCORRECT"));
}

bool RunPasswordSetup(std::unique_ptr<CMeldrixRights>& rights, IPasswordPrompt& prompt,
                      const std::function<int(CPasswordSetupDialog&)>& dialog) {
  if (!AskForRight(rights.get(), kRightPassword, prompt)) return false;
  CPasswordSetupDialog setup(rights.get());
  if (dialog(setup) != QDialog::Accepted) return false;
  rights = setup.Result();
  return true;
}

}  // namespace meldrix
