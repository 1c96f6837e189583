// The desktop program around a run: the main window, Qt's event loop driving
// the engine's, the program's signals, message boxes in windows.
#pragma once

#include <QSocketNotifier>
#include <memory>
#include <optional>
#include <vector>

#include "app/Program.h"
#include "platform/EventLoop.h"
#include "platform/Signals.h"
#include "ui/EnginePump.h"
#include "ui/MainFrame.h"
#include "ui/PasswordDialogs.h"

namespace meldrix {

class CDesktopFrontEnd : public CProgramFrontEnd {
 public:
  // Needs the QApplication made.
  CDesktopFrontEnd();
  ~CDesktopFrontEnd() override;

  std::shared_ptr<UserInterface> MakeUserInterface() override;
  void Create(ProgramContext& context) override;
  int Run() override;
  void BringToFront() override;

  CMainFrame* Frame() const { return frame_.get(); }

  // SIGTERM and SIGINT end the program even while a modal box waits inside
  // the engine: the boxes are closed (a message box answers as if escaped),
  // the engine finishes its step, and the signal is handled after it.
  void OnSignal(int signal);

 private:
  void DeliverSignals();
  void Quit();

  ProgramContext* context_ = nullptr;
  std::unique_ptr<CEnginePump> pump_;
  CDialogPasswordPrompt prompt_;
  std::unique_ptr<CMainFrame> frame_;
  // Signals on a loop of their own, so they are seen while the engine's
  // loop is held.
  EventLoop signalLoop_;
  std::optional<SignalWatcher> signals_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  std::vector<int> pendingSignals_;
  bool ending_ = false;
  bool running_ = false;  // inside QApplication::exec()  // SIGTERM or SIGINT came: no more boxes wait for answers
};

// Closes every modal dialog, innermost first.
void CloseModalDialogs();

}  // namespace meldrix
