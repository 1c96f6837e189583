// The setup dialogs driven offscreen through the menu commands: what OK
// writes, that Cancel writes nothing, the refusals, the message editor's
// check, preview and Korvane receivers; screenshots in German and English.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

#include "engine/MeldrixDoc.h"
#include "ui/GeneralSetupDialog.h"
#include "ui/MessageSetupDialog.h"
#include "ui/OutputSetupDialog.h"
#include "ui/SourceSetupDialog.h"
#include "ui/UiTestSupport.h"

namespace meldrix::testing {
namespace {

using C = CMainFrame::Command;

// Comments, an unknown section and unknown keys the dialogs must leave alone.
const std::string kBody =
    "; site configuration, edited by hand\n"
    "[Settings]\nAutoActivate=0\nLanguage=0\nSiteNote=keep me\n"
    "[InSource1]\nName=Door\nSource=3\nOutId=7\n"
    "[OutDest1]\nName=Printer\nId=7\nDest=2\nFile=/tmp/print.txt\n"
    "[Message1]\nName=Fire\nLeftTrigger=FIRE\nReceiver=4711\n"
    "[Extra]\n; unknown to the program\nKey=Value\n";

void Click(QWidget* dialog, const char* button) { Child<QPushButton>(dialog, button)->click(); }

template <class D>
void SetCombo(D& dialog, const char* name, int value) {
  auto* box = Child<QComboBox>(&dialog, name);
  box->setCurrentIndex(box->findData(value));
  ASSERT_GE(box->currentIndex(), 0) << name << " " << value;
}

// Replaces the line that starts with `start`.
void ReplaceLine(std::string& text, const std::string& start, const std::string& line) {
  const size_t at = text.find("\n" + start) + 1;
  ASSERT_NE(at, 0u) << start;
  text.replace(at, text.find('\n', at) - at, line);
}

TEST(SetupDialogsTest, EveryDialogCancelsWithoutWritingAndIsPhotographedInGermanAndEnglish) {
  for (const auto& [language, suffix] : {std::pair{0, "de"}, std::pair{1, "en"}}) {
    std::string body = kBody;
    body.replace(body.find("Language=0"), 10, "Language=" + std::to_string(language));
    DesktopHarness desk(body);
    const std::string before = ReadFile(desk.ConfigFile());
    const std::pair<C, const char*> commands[] = {
        {C::Sources, "sources"}, {C::Output, "outputs"}, {C::Messages, "messages"}, {C::GeneralSetup, "general"}};
    for (const auto& [command, name] : commands) {
      const bool seen = WithDialog<QDialog>(desk.Frame(), command, [&](QDialog& dialog) {
        // Typed changes that Cancel must drop.
        for (auto* edit : dialog.findChildren<QLineEdit*>("name")) edit->setText("changed");
        if (auto* kind = dialog.findChild<QComboBox*>("kind")) kind->setCurrentIndex(kind->findData(1));
        // Every accelerator of a label leads to its field.
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
          if (label->text().contains('&')) {
            EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
          }
        }
        QTest::qWait(50);
        dialog.grab().save(QString::fromStdString(ArtefactPath(std::string("setup-") + name + "-" + suffix + ".png")));
        QTest::keyClick(&dialog, Qt::Key_Escape);
      });
      EXPECT_TRUE(seen) << name;
      EXPECT_EQ(ReadFile(desk.ConfigFile()), before) << name;
    }
    EXPECT_EQ(desk.Engine().Document()->m_InPorts[0].m_Name, "Door");
  }
}

TEST(SetupDialogsTest, SourcesArePausedEditedAndSavedWholeWithTheRestOfTheFileKept) {
  // COM3 is a pseudo-terminal, so processing can resume with the new source.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  std::string body = kBody + "[Ports]\nCOM3=" + ::ptsname(master) + "\n";
  body.replace(body.find("AutoActivate=0"), 14, "AutoActivate=1");
  DesktopHarness desk(body);
  ASSERT_TRUE(desk.Engine().IsActive());
  bool activeInside = true;
  WithDialog<CSourceSetupDialog>(desk.Frame(), C::Sources, [&](CSourceSetupDialog& dialog) {
    activeInside = desk.Engine().IsActive();
    Click(&dialog, "add");
    Child<QLineEdit>(&dialog, "name")->setText("Panel");
    SetCombo(dialog, "kind", 1);
    SetCombo(dialog, "port", 2);
    SetCombo(dialog, "baud", 19200);
    SetCombo(dialog, "protocol", 1);
    SetCombo(dialog, "outId", 7);
    Click(&dialog, "up");  // the new source goes first
    QTest::keyClick(&dialog, Qt::Key_Return);
  });
  EXPECT_FALSE(activeInside);
  EXPECT_TRUE(desk.Engine().IsActive());  // resumed as it was
  const std::string file = ReadFile(desk.ConfigFile());
  EXPECT_NE(file.find("; site configuration, edited by hand\n[Settings]\nAutoActivate=1\nLanguage=0\nSiteNote=keep me\n"),
            std::string::npos)
      << file;
  EXPECT_NE(file.find("[InSource1]\nName=Panel\nSource=1\nFile=\nRemoveFile=0\nSocketPort=2000\nMailServer=\n"
                      "MailUser=\nMailPort=110\nMailPassword=\nMailAuth=PLAIN\nMailSSLMode=1\nMailFields=1\nPort=2\n"
                      "Baud=19200\nDataBit=8\nParity=0\nStopBit=1\nMode=1\nProtocol=1\nOutId=7\n"),
            std::string::npos)
      << file;
  EXPECT_NE(file.find("[InSource2]\nName=Door\nSource=3\n"), std::string::npos) << file;
  EXPECT_NE(file.find("[Extra]\n; unknown to the program\nKey=Value\n"), std::string::npos) << file;
  CMeldrixDoc& doc = *desk.Engine().Document();
  ASSERT_EQ(doc.m_InPorts.GetSize(), 2u);
  EXPECT_EQ(doc.m_InPorts[0].m_Name, "Panel");
  EXPECT_FALSE(doc.CheckConfigChanged());  // our own write
  ::close(master);
}

TEST(SetupDialogsTest, OutputsAreSavedAndAFileNameMayHoldExpressions) {
  DesktopHarness desk(kBody);
  WithDialog<COutputSetupDialog>(desk.Frame(), C::Output, [&](COutputSetupDialog& dialog) {
    Click(&dialog, "copy");  // the copy gets the next free Id
    EXPECT_EQ(Child<QSpinBox>(&dialog, "id")->value(), 8);
    Child<QLineEdit>(&dialog, "name")->setText("Log");
    Child<QLineEdit>(&dialog, "file")->setText("/var/log/{{'alarm'}}.txt");
    Child<QCheckBox>(&dialog, "fileMode")->setChecked(false);
    dialog.accept();
  });
  const std::string file = ReadFile(desk.ConfigFile());
  EXPECT_NE(file.find("[OutDest1]\nName=Printer\nId=7\nDest=2\nFile=/tmp/print.txt\nPort=9\n"), std::string::npos);
  EXPECT_NE(file.find("[OutDest2]\nName=Log\nId=8\nDest=2\nFile=/var/log/{{'alarm'}}.txt\nPort=9\nBaud=9600\n"
                      "DataBit=8\nParity=0\nStopBit=1\nMode=1\nFileMode=0\n"),
            std::string::npos)
      << file;
}

// Each rule refuses OK with a message that names the field; the dialog stays
// open and the file is untouched.
TEST(SetupDialogsTest, RefusalsNameTheField) {
  DesktopHarness desk(kBody);
  const std::string before = ReadFile(desk.ConfigFile());
  struct Rule {
    C command;
    std::function<void(QDialog&)> edit;
    const char* expected;
  };
  const Rule rules[] = {
      {C::Sources, [](QDialog& d) { Click(&d, "add"); }, "Art"},
      {C::Sources,
       [](QDialog& d) {
         Child<QComboBox>(&d, "kind")->setCurrentIndex(Child<QComboBox>(&d, "kind")->findData(5));
         Child<QSpinBox>(&d, "socketPort")->setValue(0);
       },
       "Socket-Port"},
      {C::Output, [](QDialog& d) { Child<QSpinBox>(&d, "id")->setValue(0); }, "darf nicht 0 sein"},
      {C::Output,
       [](QDialog& d) {
         Click(&d, "add");
         Child<QSpinBox>(&d, "id")->setValue(7);
       },
       "schon eine andere Ausgabe"},
      {C::Output, [](QDialog& d) { Child<QLineEdit>(&d, "file")->setText("/tmp/{{1+}}.txt"); }, "Position"},
      {C::Messages, [](QDialog& d) { Child<QLineEdit>(&d, "leftTrigger")->setText("FIRE\\x00"); }, "Null-Byte"},
      {C::Messages, [](QDialog& d) { Child<QLineEdit>(&d, "midTrigger2")->setText("A\\0"); }, "„und“"},
      {C::GeneralSetup, [](QDialog& d) { Child<QSpinBox>(&d, "smtpPort")->setValue(0); }, "SMTP-Port"},
  };
  for (const Rule& rule : rules) {
    QString refusal;
    bool stayedOpen = false;
    WithDialog<QDialog>(desk.Frame(), rule.command, [&](QDialog& dialog) {
      rule.edit(dialog);
      refusal = MessageBoxText([&] { dialog.accept(); });
      stayedOpen = dialog.isVisible();
    });
    EXPECT_TRUE(refusal.contains(QString::fromUtf8(rule.expected))) << refusal.toStdString();
    EXPECT_TRUE(stayedOpen) << rule.expected;
  }
  EXPECT_EQ(ReadFile(desk.ConfigFile()), before);
}

TEST(SetupDialogsTest, MessageEditorChecksPreviewsAndOffersKorvaneReceivers) {
  DesktopHarness desk(kBody, nullptr, {"--receivers", "Alice[1]|Bob[2]", "--groups", "Fire brigade[3]"});
  WithDialog<CMessageSetupDialog>(desk.Frame(), C::Messages, [&](CMessageSetupDialog& dialog) {
    CMessageEditor& editor = *dialog.Editor();
    QStringList offered;
    for (int i = 0; i < editor.receiver_->count(); ++i) offered << editor.receiver_->itemText(i);
    EXPECT_EQ(offered, QStringList({"Alice", "Bob", "Fire brigade"}));

    editor.text_->setPlainText("Alarm {{1+}}");
    Click(&dialog, "check");
    EXPECT_TRUE(editor.checkResult_->text().contains("Syntaxfehler")) << editor.checkResult_->text().toStdString();
    EXPECT_TRUE(editor.checkResult_->text().contains("Position 10")) << editor.checkResult_->text().toStdString();

    editor.text_->setPlainText("{{$MSGFIELD[2]}} in {{$YEAR}} | end");
    Click(&dialog, "check");
    EXPECT_FALSE(editor.checkResult_->text().contains("Syntaxfehler"));
    editor.sample_->setText("FIRE;Hall 3");
    editor.previewTime_->setDateTime(QDateTime::fromSecsSinceEpoch(1772373900));
    Click(&dialog, "previewButton");
    EXPECT_EQ(editor.preview_->toPlainText(), "Hall 3 in 2026 ! end");

    editor.receiver_->setCurrentText("Bob");
    editor.caseSensitive_->setChecked(false);
    dialog.accept();
  });
  const std::string file = ReadFile(desk.ConfigFile());
  // Defaults (Active=1, ContinueChecking=0 ...) are left out.
  EXPECT_NE(file.find("[Message1]\nName=Fire\nLeftTrigger=FIRE\nReceiver=Bob\n"
                      "Text={{$MSGFIELD[2]}} in {{$YEAR}} | end\nCaseSensitive=0\n[Extra]"),
            std::string::npos)
      << file;
  EXPECT_EQ(desk.Engine().Document()->m_Messages[0].m_PreparedLeftTrigger, "FIRE");
}

TEST(SetupDialogsTest, GeneralSettingsSaveWithoutDefaultsAndAskAboutAnOutsideChange) {
  DesktopHarness desk(kBody);
  WithDialog<CGeneralSetupDialog>(desk.Frame(), C::GeneralSetup, [&](CGeneralSetupDialog& dialog) {
    Child<QSpinBox>(&dialog, "smtpPort")->setValue(2525);
    Child<QSpinBox>(&dialog, "multilineTimeout")->setValue(3);
    Child<QCheckBox>(&dialog, "incMailFrom")->setChecked(true);
    dialog.accept();
  });
  std::string file = ReadFile(desk.ConfigFile());
  EXPECT_NE(file.find("[Settings]\nAutoActivate=0\nLanguage=0\nSiteNote=keep me\nUsedCharset=0\nMoreLineMessages=0\n"
                      "MultilineTimeout=3000\n"),
            std::string::npos)
      << file;
  EXPECT_EQ(file.find("EndOfMessage"), std::string::npos);  // the default is not written
  EXPECT_EQ(file.find("Endpoint="), file.rfind("Endpoint="));  // unchanged, once
  EXPECT_NE(file.find("IncMailFrom=1\nIncMailTo=0\nSmtpPort=2525\n"), std::string::npos) << file;
  EXPECT_EQ(desk.Engine().Document()->m_SmtpPort, 2525);

  // Someone edits the file while the dialog is open: "No" keeps their file
  // and reads it; "Yes" saves over the edited sections only.
  for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    auto question = std::make_shared<QString>();
    WithDialog<CGeneralSetupDialog>(desk.Frame(), C::GeneralSetup, [&](CGeneralSetupDialog& dialog) {
      Child<QSpinBox>(&dialog, "maxMessageLength")->setValue(answer == QMessageBox::Yes ? 400 : 300);
      std::string edited = ReadFile(desk.ConfigFile());
      ReplaceLine(edited, "Key=", "Key=Outside" + std::to_string(answer));
      ReplaceLine(edited, "MaxMessageLength=", "MaxMessageLength=111");
      WriteFile(desk.ConfigFile(), edited);
      std::filesystem::last_write_time(desk.ConfigFile(),
                                       std::filesystem::file_time_type::clock::now() + std::chrono::seconds(5));
      // With "No", the supervision has already read the edit: the model is
      // fresh, but the dialog's copy is not.
      if (answer == QMessageBox::No) desk.Engine().Reload();
      dialog.accept();
      AnswerNextMessageBox(answer, question);
    });
    EXPECT_FALSE(question->isEmpty());
    file = ReadFile(desk.ConfigFile());
    EXPECT_NE(file.find("Key=Outside" + std::to_string(answer)), std::string::npos);
    const long expected = answer == QMessageBox::Yes ? 400 : 111;
    EXPECT_NE(file.find("MaxMessageLength=" + std::to_string(expected)), std::string::npos) << file;
    EXPECT_EQ(desk.Engine().Document()->m_MaxMessageLength, expected);
  }
}

}  // namespace
}  // namespace meldrix::testing
