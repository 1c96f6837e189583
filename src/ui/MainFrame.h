// The main window: the log view, the menus with their status-bar prompts,
// the status bar with the three counters, and the commands behind the menus.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "app/Password.h"
#include "app/Program.h"
#include "ui/EnginePump.h"
#include "ui/StreamView.h"

namespace meldrix {

class CHelpWindow;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // The commands of the menus.
  enum class Command {
    Sources, Messages, Activate, GeneralSetup, Output, Overview, ReceiverSetup,
    VoiceMessages, Language, Clear, Password, Help, SystemInformation, Exit
  };

  CMainFrame(ProgramContext& context, CEnginePump& pump, IPasswordPrompt& prompt);
  ~CMainFrame() override;

  QAction* Action(Command command) const { return actions_.at(command); }
  CMeldrixView* View() const { return view_; }
  QLabel* CounterLabel(int pane) const { return counters_[pane]; }
  CHelpWindow* HelpWindow() const { return help_; }

  // Menus, prompts and status bar in the current language.
  void Retranslate();
  // Counters and the state of "activate" from the engine.
  void UpdateFromEngine();
  // Switches the language (0 German, 1 English, 2 French) and stores it.
  void SetLanguage(int index);
  // For the end of the run: the window closes without asking.
  void CloseForShutdown();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AddAction(QMenu* menu, Command command);
  void Run(Command command);
  bool Ask(int right);
  void ToggleActivation();
  void SetupSources();
  void SetupOutputs();
  void SetupMessages();
  void SetupGeneral();
  // Saves what a setup dialog changed through `apply`. A file changed from
  // outside since `openedAt` (the remembered file time when the dialog
  // opened; a reload meanwhile moves it) is not overwritten unasked. True
  // when saved.
  bool SaveSetup(std::optional<std::int64_t> openedAt, const std::function<bool()>& apply);
  void SendToKorvane(const std::string& command);
  void ChooseLanguage();
  void SetupPassword();
  void ShowHelp();
  void ReportWriteFailure();

  ProgramContext& context_;
  CEnginePump& pump_;
  IPasswordPrompt& prompt_;
  CMeldrixView* view_;
  std::map<Command, QAction*> actions_;
  QMenu* menus_[4] = {};
  QLabel* ready_;
  QLabel* counters_[3] = {};
  CHelpWindow* help_ = nullptr;
  bool shuttingDown_ = false;
};

}  // namespace meldrix
