#include "ui/MainFrame.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

#include "app/MainLoop.h"
#include "platform/DataFolder.h"
#include "platform/PrivateProfile.h"
#include "platform/UserInterface.h"
#include "ui/HelpWindow.h"
#include "ui/LanguageDialog.h"
#include "ui/PasswordDialogs.h"
#include "ui/QtText.h"
#include "ui/SystemInfo.h"
#include "ui/TextDialog.h"
#include "util/StreamDoc.h"

namespace meldrix {

namespace {

struct CommandTexts {
  const char* name;
  const char* prompt;
};

CommandTexts TextsOf(CMainFrame::Command command) {
  using C = CMainFrame::Command;
  switch (command) {
    case C::Sources: return {"IDS_CMD_SOURCES", "IDS_PROMPT_SOURCES"};
    case C::Messages: return {"IDS_CMD_MESSAGES", "IDS_PROMPT_MESSAGES"};
    case C::Activate: return {"IDS_CMD_ACTIVATE", "IDS_PROMPT_ACTIVATE"};
    case C::GeneralSetup: return {"IDS_CMD_GENERAL", "IDS_PROMPT_GENERAL"};
    case C::Output: return {"IDS_CMD_OUTPUT", "IDS_PROMPT_OUTPUT"};
    case C::Overview: return {"IDS_CMD_OVERVIEW", "IDS_PROMPT_OVERVIEW"};
    case C::ReceiverSetup: return {"IDS_CMD_RECEIVERS", "IDS_PROMPT_RECEIVERS"};
    case C::VoiceMessages: return {"IDS_CMD_VOICE", "IDS_PROMPT_VOICE"};
    case C::Language: return {"IDS_CMD_LANGUAGE", "IDS_PROMPT_LANGUAGE"};
    case C::Clear: return {"IDS_CMD_CLEAR", "IDS_PROMPT_CLEAR"};
    case C::Password: return {"IDS_CMD_PASSWORD", "IDS_PROMPT_PASSWORD"};
    case C::Help: return {"IDS_CMD_HELP", "IDS_PROMPT_HELP"};
    case C::SystemInformation: return {"IDS_CMD_SYSINFO", "IDS_PROMPT_SYSINFO"};
    case C::Exit: return {"IDS_CMD_EXIT", "IDS_PROMPT_EXIT"};
  }
  return {"", ""};
}

const char* const kMenuIds[] = {"IDS_MENU_FILE", "IDS_MENU_TOOLS", "IDS_MENU_VIEW", "IDS_MENU_HELP"};
const char* const kCounterIds[] = {"IDS_TOTAL_MESSAGES", "IDS_SENT_MESSAGES", "IDS_TOTAL_ERRORS"};

}  // namespace

CMainFrame::CMainFrame(ProgramContext& context, CEnginePump& pump, IPasswordPrompt& prompt)
    : context_(context), pump_(pump), prompt_(prompt), view_(new CMeldrixView(context.engine.Log(), this)),
      ready_(new QLabel(this)) {
  QString title = FromCp1252(kApplicationName);
  if (!context.commandLine.instanceName.empty())
    title += " - " + FromCp1252(context.commandLine.instanceName);
  setWindowTitle(title);
  setCentralWidget(view_);

  using C = Command;
  for (QMenu*& menu : menus_) menu = menuBar()->addMenu(QString());
  for (C command : {C::Activate, C::Clear, C::Exit}) AddAction(menus_[0], command);
  menus_[0]->insertSeparator(Action(C::Exit));
  for (C command : {C::Sources, C::Messages, C::Output, C::GeneralSetup}) AddAction(menus_[1], command);
  menus_[1]->addSeparator();
  for (C command : {C::ReceiverSetup, C::VoiceMessages}) AddAction(menus_[1], command);
  menus_[1]->addSeparator();
  for (C command : {C::Password, C::Language}) AddAction(menus_[1], command);
  AddAction(menus_[2], C::Overview);
  for (C command : {C::Help, C::SystemInformation}) AddAction(menus_[3], command);
  Action(C::Activate)->setCheckable(true);
  Action(C::Help)->setShortcut(QKeySequence::HelpContents);

  statusBar()->addWidget(ready_, 1);
  for (QLabel*& counter : counters_) {
    counter = new QLabel(this);
    counter->setMinimumWidth(60);
    counter->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addPermanentWidget(counter);
  }
  connect(&pump_, &CEnginePump::Released, this, &CMainFrame::UpdateFromEngine);
  Retranslate();
  UpdateFromEngine();
  resize(900, 600);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::AddAction(QMenu* menu, Command command) {
  QAction* action = menu->addAction(QString());
  connect(action, &QAction::triggered, this, [this, command] { Run(command); });
  actions_[command] = action;
}

void CMainFrame::Retranslate() {
  for (int i = 0; i < 4; ++i) menus_[i]->setTitle(UiText(kMenuIds[i]));
  for (auto& [command, action] : actions_) {
    const CommandTexts texts = TextsOf(command);
    action->setText(UiText(texts.name));
    action->setStatusTip(UiText(texts.prompt));
  }
  ready_->setText(UiText("IDS_READY"));
  for (int i = 0; i < 3; ++i) counters_[i]->setToolTip(UiText(kCounterIds[i]));
}

void CMainFrame::UpdateFromEngine() {
  const EngineCounters counters = context_.engine.Counters();
  const std::uint32_t values[] = {counters.total, counters.sent, counters.errors};
  for (int i = 0; i < 3; ++i) {
    QString text = ' ' + QString::number(values[i]);
    if (counters_[i]->text() != text) counters_[i]->setText(text);
  }
  Action(Command::Activate)->setChecked(context_.engine.IsActive());
  Action(Command::Activate)->setEnabled(context_.engine.CanActivate());
}

bool CMainFrame::Ask(int right) { return AskForRight(context_.rights.get(), right, prompt_); }

void CMainFrame::Run(Command command) {
  using C = Command;
  switch (command) {
    case C::Sources:
      if (Ask(kRightSourceSetup)) SetupSources();
      break;
    case C::Messages:
      if (Ask(kRightMessageSetup)) SetupMessages();
      break;
    case C::Activate: ToggleActivation(); break;
    case C::GeneralSetup:
      if (Ask(kRightGeneralSetup)) SetupGeneral();
      break;
    case C::Output:
      if (Ask(kRightOutputSetup)) SetupOutputs();
      break;
    case C::Overview: {
      std::string text;
      pump_.Hold([&] { text = context_.engine.OverviewText(); });
      QString shown = FromCp1252(text).replace("\r\n", "\n");
      CTextDialog(UiText("IDS_OVERVIEW_TITLE"), shown.isEmpty() ? UiText("IDS_OVERVIEW_EMPTY") : QString(),
                  shown, this)
          .exec();
      break;
    }
    case C::ReceiverSetup: SendToKorvane("[setup(E)]"); break;
    case C::VoiceMessages: SendToKorvane("[setup(V)]"); break;
    case C::Language: ChooseLanguage(); break;
    case C::Clear: pump_.Hold([&] { context_.engine.Log().Clear(); }); break;
    case C::Password: SetupPassword(); break;
    case C::Help: ShowHelp(); break;
    case C::SystemInformation:
      CTextDialog(UiText("IDS_SYSINFO_TITLE"), QString(), SystemInformationText(context_.engine.ConfigFile()),
                  this)
          .exec();
      break;
    case C::Exit: close(); break;
  }
  UpdateFromEngine();
}

void CMainFrame::ToggleActivation() {
  if (!Ask(kRightActivate)) {
    UpdateFromEngine();  // the action toggled its check mark itself
    return;
  }
  pump_.Hold([&] {
    if (context_.engine.IsActive())
      context_.engine.Deactivate();
    else if (context_.engine.CanActivate())
      context_.mainLoop.Activate();
  });
}

void CMainFrame::SendToKorvane(const std::string& command) {
  std::uint32_t failure = 0;
  pump_.Hold([&] { failure = context_.engine.SendKorvaneCommand(command); });
  if (failure != 0)
    QMessageBox::critical(this, FromCp1252(kApplicationName),
                          UiText("IDS_KORVANE_SETUP_FAILED").arg(failure, 8, 16, QLatin1Char('0')).toUpper());
}

void CMainFrame::SetLanguage(int index) {
  SetUiLanguage(index);
  const std::string file = context_.engine.ConfigFile();
  if (PrivateProfile::WriteString(file, "Settings", "Language", std::to_string(index)))
    context_.engine.ConfigurationWritten();
  else
    ReportWriteFailure();
  Retranslate();
  if (help_) help_->setWindowTitle(UiText("IDS_HELP_TITLE"));
}

void CMainFrame::ChooseLanguage() {
  const int current = static_cast<int>(CurrentUiLanguage());
  CLanguageDialog dialog(current, this);
  if (dialog.exec() == QDialog::Accepted && dialog.Chosen() != current && dialog.Chosen() >= 0)
    SetLanguage(dialog.Chosen());
}

void CMainFrame::SetupPassword() {
  bool changed = RunPasswordSetup(context_.rights, prompt_, [this](CPasswordSetupDialog& dialog) {
    dialog.setParent(this, dialog.windowFlags());
    return dialog.exec();
  });
  if (!changed) return;
  if (SaveRights(context_.engine.ConfigFile(), context_.rights.get()))
    context_.engine.ConfigurationWritten();
  else
    ReportWriteFailure();
}

void CMainFrame::ReportWriteFailure() {
  QMessageBox::critical(this, FromCp1252(kApplicationName),
                        UiText("IDS_SETTING_WRITE_FAILED").arg(FromCp1252(context_.engine.ConfigFile())));
}

void CMainFrame::ShowHelp() {
  if (!help_) help_ = new CHelpWindow(this);
  const std::string index = PrivateProfile::GetString(context_.engine.ConfigFile(), "Settings", "HelpIndex",
                                                      "Meldrix\\Index.htm");
  const std::string folder = StartingDataFolder();
  if (!help_->ShowIndex(folder, index, static_cast<int>(CurrentUiLanguage())) &&
      index != "Meldrix\\Index.htm")
    QMessageBox::information(this, FromCp1252(kApplicationName),
                             UiText("IDS_HELP_MISSING").arg(FromCp1252(CHelpWindow::IndexPath(folder, index))));
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void CMainFrame::CloseForShutdown() {
  shuttingDown_ = true;
  close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (shuttingDown_) {
    event->accept();
    return;
  }
  // The program ends through its event loop, like after SIGTERM.
  event->ignore();
  if (!Ask(kRightTerminate)) return;
  pump_.Hold([&] { context_.loop.Quit(0); });
}

}  // namespace meldrix
