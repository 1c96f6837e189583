// The password setup dialog: presets, the mapping of its check boxes onto
// the rights mask, the refusal of differing fields, and the setup command.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTimer>

#include "ui/DesktopFrontEnd.h"
#include "ui/PasswordDialogs.h"
#include "ui/UiTestSupport.h"

namespace meldrix::testing {
namespace {

TEST(PasswordDialogTest, CheckBoxesMapOntoTheMask) {
  CPasswordSetupDialog fresh(nullptr);
  EXPECT_TRUE(fresh.SetupBox()->isChecked());
  EXPECT_TRUE(fresh.TerminateBox()->isChecked());
  EXPECT_FALSE(fresh.ActivateBox()->isChecked());
  EXPECT_EQ(fresh.Result(), nullptr);  // no password typed: no protection

  const struct {
    bool setup, activate, terminate;
    std::uint32_t mask;
  } cases[] = {
      {true, true, true, 0xFFFFFFFFu},
      {false, true, false, 0xFFFFFF07u},  // only "Activating": setup runs unasked
      {true, false, true, 0xFFFFFFFBu},
      {false, false, false, 0xFFFFFF03u},
  };
  for (const auto& c : cases) {
    CPasswordSetupDialog dialog(nullptr);
    dialog.Input()->setText(QString::fromUtf8("Schlüssel"));
    dialog.SetupBox()->setChecked(c.setup);
    dialog.ActivateBox()->setChecked(c.activate);
    dialog.TerminateBox()->setChecked(c.terminate);
    auto rights = dialog.Result();
    ASSERT_NE(rights, nullptr);
    EXPECT_EQ(rights->Mask(), c.mask);
    EXPECT_EQ(rights->Password(), "Schl\xFC" "ssel");
    // Presets from an existing protection give the same mask back.
    CPasswordSetupDialog again(rights.get());
    EXPECT_EQ(again.Repeat()->text(), QString::fromUtf8("Schlüssel"));
    EXPECT_EQ(again.Result()->Mask(), c.mask);
  }
}

TEST(PasswordDialogTest, DifferingFieldsKeepTheDialogOpen) {
  CPasswordSetupDialog dialog(nullptr);
  dialog.Input()->setText("one");
  dialog.Repeat()->setText("two");
  QString shown;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->accept();
    }
  });
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(shown.startsWith("The password and confirmed password do not match."));
  dialog.Repeat()->setText("one");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(PasswordDialogTest, SetupCommandAsksFirstAndEmptyInputRemovesProtection) {
  auto rights = std::make_unique<CMeldrixRights>();
  rights->SetPassword("old");
  ScriptedPrompt prompt;
  bool shown = false;
  auto fill = [&](const QString& text) {
    return [&, text](CPasswordSetupDialog& dialog) {
      shown = true;
      dialog.Input()->setText(text);
      dialog.Repeat()->setText(text);
      return int(QDialog::Accepted);
    };
  };
  prompt.answers.push("bad");
  EXPECT_FALSE(RunPasswordSetup(rights, prompt, fill("new")));
  EXPECT_FALSE(shown);
  EXPECT_EQ(rights->Password(), "old");

  prompt.answers.push("old");
  EXPECT_TRUE(RunPasswordSetup(rights, prompt, fill("new")));
  ASSERT_NE(rights, nullptr);
  EXPECT_EQ(rights->Password(), "new");

  prompt.answers.push("new");
  EXPECT_TRUE(RunPasswordSetup(rights, prompt, fill("")));
  EXPECT_EQ(rights, nullptr);
  // Without protection nothing is asked; Cancel changes nothing.
  EXPECT_FALSE(RunPasswordSetup(rights, prompt, [](CPasswordSetupDialog& dialog) {
    dialog.Input()->setText("x");
    return int(QDialog::Rejected);
  }));
  EXPECT_EQ(rights, nullptr);
  EXPECT_EQ(prompt.asked, 3);
}

// The prompt of the real program, answered through its dialog.
TEST(PasswordDialogTest, PromptDialogReturnsTheTypedTextOrNothing) {
  CDialogPasswordPrompt prompt;
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<CPasswordPromptDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Please Enter Your Password");
    QTest::keyClicks(dialog->Field(), "geheim");
    dialog->Field()->insert(QString::fromUtf8("€"));
    dialog->accept();
  });
  EXPECT_EQ(prompt.AskPassword(), std::optional<std::string>("geheim\x80"));
  QTimer::singleShot(0, [] { CloseModalDialogs(); });
  EXPECT_EQ(prompt.AskPassword(), std::nullopt);
}

}  // namespace
}  // namespace meldrix::testing
