// The password prompt and the password setup dialog, and the setup command
// that uses them.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <memory>
#include <optional>
#include <string>

#include "app/Password.h"

namespace meldrix {

// "Please Enter Your Password": one field.
class CPasswordPromptDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CPasswordPromptDialog(QWidget* parent = nullptr);
  QLineEdit* Field() const { return field_; }

 private:
  QLineEdit* field_;
};

// "Password Setup": the password twice and the three groups of commands.
class CPasswordSetupDialog : public QDialog {
  Q_OBJECT

 public:
  // Preset from `rights`, or the defaults without a password (termination
  // and setup protected, activating not).
  CPasswordSetupDialog(const CMeldrixRights* rights, QWidget* parent = nullptr);

  QLineEdit* Input() const { return input_; }
  QLineEdit* Repeat() const { return repeat_; }
  QCheckBox* SetupBox() const { return setup_; }
  QCheckBox* ActivateBox() const { return activate_; }
  QCheckBox* TerminateBox() const { return terminate_; }

  // The protection the dialog's fields ask for: none for an empty password.
  std::unique_ptr<CMeldrixRights> Result() const;

  // Refuses to close while the two fields differ.
  void accept() override;

 private:
  QLineEdit* input_;
  QLineEdit* repeat_;
  QCheckBox* setup_;
  QCheckBox* activate_;
  QCheckBox* terminate_;
};

// The prompt of protected commands, in dialogs.
class CDialogPasswordPrompt : public IPasswordPrompt {
 public:
  explicit CDialogPasswordPrompt(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  std::optional<std::string> AskPassword() override;
  void ShowIncorrect() override;

 private:
  QWidget* parent_;
};

// The password setup command: asks for right 0 when a password exists, shows
// the setup dialog, and on OK replaces `rights`. True when it changed.
// `dialog` shows the dialog (exec() normally; tests fill it in).
bool RunPasswordSetup(std::unique_ptr<CMeldrixRights>& rights, IPasswordPrompt& prompt,
                      const std::function<int(CPasswordSetupDialog&)>& dialog);

}  // namespace meldrix
