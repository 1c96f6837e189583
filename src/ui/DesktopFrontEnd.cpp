#include "ui/DesktopFrontEnd.h"

#include <QApplication>
#include <QDialog>
#include <QWindow>
#include <csignal>

#include "app/MainLoop.h"
#include "ui/QtUserInterface.h"

namespace meldrix {

void CloseModalDialogs() {
  // Each closed dialog's own loop returns later; the loop ends when no modal
  // widget is left or one refuses to close.
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->done(QDialog::Rejected);
    } else if (!modal->close()) {
      break;
    }
    if (QApplication::activeModalWidget() == modal) break;
  }
}

CDesktopFrontEnd::CDesktopFrontEnd() {
  QApplication::setQuitOnLastWindowClosed(false);
}

CDesktopFrontEnd::~CDesktopFrontEnd() = default;

std::shared_ptr<UserInterface> CDesktopFrontEnd::MakeUserInterface() {
  return std::make_shared<QtUserInterface>(std::make_shared<ConsoleUserInterface>(),
                                           [this] { return ending_; });
}

void CDesktopFrontEnd::Create(ProgramContext& context) {
  context_ = &context;
  pump_ = std::make_unique<CEnginePump>(context.loop);
  pump_->Acquire();  // released by Run()
  frame_ = std::make_unique<CMainFrame>(context, *pump_, prompt_);
  prompt_.SetParent(frame_.get());
  QObject::connect(pump_.get(), &CEnginePump::QuitRequested, frame_.get(), [this] { Quit(); });
  QObject::connect(pump_.get(), &CEnginePump::Released, frame_.get(), [this] { DeliverSignals(); });
  signals_.emplace(signalLoop_, [this](int signal) { OnSignal(signal); });
  signalNotifier_ = std::make_unique<QSocketNotifier>(signalLoop_.Descriptor(), QSocketNotifier::Read);
  QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, frame_.get(),
                   [this] { signalLoop_.RunOnce(0); });
}

void CDesktopFrontEnd::OnSignal(int signal) {
  pendingSignals_.push_back(signal);
  if (signal == SIGTERM || signal == SIGINT) {
    ending_ = true;
    CloseModalDialogs();
  }
  DeliverSignals();
}

void CDesktopFrontEnd::DeliverSignals() {
  if (pendingSignals_.empty() || pump_->Held()) return;
  std::vector<int> due;
  due.swap(pendingSignals_);
  pump_->Hold([&] {
    for (int signal : due) context_->mainLoop.OnSignal(signal);
  });
}

void CDesktopFrontEnd::Quit() {
  ending_ = true;
  CloseModalDialogs();
  // Only a running loop may be told to exit: Qt keeps the request and would
  // end every later dialog at once. Before exec() Run() sees the quitting loop.
  if (running_) QApplication::exit(0);
}

int CDesktopFrontEnd::Run() {
  using Show = CMessageCommandLineInfo::Show;
  switch (context_->commandLine.show) {
    case Show::Minimised: frame_->showMinimized(); break;
    case Show::Maximised: frame_->showMaximized(); break;
    case Show::MinimisedNoActivate:
      frame_->setAttribute(Qt::WA_ShowWithoutActivating);
      frame_->showMinimized();
      break;
    default: frame_->show(); break;
  }
  pump_->Release();  // start-up is done; its timers are scheduled now
  if (!context_->loop.Quitting()) {
    running_ = true;
    QApplication::exec();
    running_ = false;
  }
  // The loop may have ended another way (the last window gone); the engine's
  // loop ends with it.
  if (!context_->loop.Quitting()) context_->loop.Quit(0);
  frame_->CloseForShutdown();
  signalNotifier_.reset();
  signals_.reset();
  frame_.reset();
  pump_.reset();
  return context_->loop.ExitCode();
}

void CDesktopFrontEnd::BringToFront() {
  if (!frame_) return;
  if (frame_->isMinimized()) frame_->showNormal();
  frame_->show();
  frame_->raise();
  frame_->activateWindow();
  if (QWidget* modal = QApplication::activeModalWidget()) {
    modal->raise();
    modal->activateWindow();
  }
}

}  // namespace meldrix
