// The desktop program's parts on a real engine, in the test process: Qt on
// the offscreen platform, a temporary data folder, a Korvane stand-in, the
// engine's event loop pumped by Qt's. Grabbed images are kept as artefacts
// in <build>/artefacts/ui.
#pragma once

#include <QApplication>
#include <QImage>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <queue>

#include "app/MainLoop.h"
#include "app/MeldrixEngineHost.h"
#include "app/Password.h"
#include "support/ScriptedPrompt.h"
#include "app/Program.h"
#include "engine/KorvaneStubProcess.h"
#include "support/Files.h"
#include "support/TempFolder.h"
#include "ui/EnginePump.h"
#include "ui/MainFrame.h"

namespace meldrix::testing {

inline constexpr int kUiTimeoutMs = 20000;

inline std::string ArtefactPath(const std::string& name) {
  const std::string folder = MELDRIX_BUILD_DIR "/artefacts/ui";
  std::filesystem::create_directories(folder);
  return folder + "/" + name;
}

// The main window on a real engine whose configuration is `body` plus the
// stand-in's endpoint.
class DesktopHarness {
 public:
  // `korvaneArgs` go to the stand-in (--receivers, --groups ...).
  explicit DesktopHarness(const std::string& body, std::unique_ptr<CMeldrixRights> rights = nullptr,
                          std::vector<std::string> korvaneArgs = {})
      : korvane_(std::move(korvaneArgs)), rights_(std::move(rights)) {
    ::setenv("MELDRIX_DATA", data_.Path().c_str(), 1);
    ::setenv("MELDRIX_DDE_DIR", data_.File("dde").c_str(), 1);
    WriteFile(data_.File("meldrix.cfg"), body + "\n[Korvane]\nEndpoint=" + korvane_.Endpoint() + "\n");
    engine_ = CreateEngineHost(EngineStartup{"", &loop_});
    mainLoop_.emplace(loop_, *engine_);
    context_.emplace(ProgramContext{commandLine_, loop_, *engine_, *mainLoop_, rights_});
    pump_.emplace(loop_);
    frame_.emplace(*context_, *pump_, prompt);
    frame_->resize(900, 500);
    frame_->show();
    if (!QTest::qWaitForWindowExposed(&*frame_)) throw std::runtime_error("window not exposed");
    if (engine_->AutoActivate()) mainLoop_->Activate();
    mainLoop_->StartProcessingTimers();
    pump_->Schedule();
    frame_->UpdateFromEngine();
  }
  ~DesktopHarness() {
    frame_->CloseForShutdown();
    frame_.reset();
    pump_.reset();
    if (engine_->IsActive()) engine_->Deactivate();
  }

  CMainFrame& Frame() { return *frame_; }
  IEngineHost& Engine() { return *engine_; }
  EventLoop& Loop() { return loop_; }
  CEnginePump& Pump() { return *pump_; }
  std::unique_ptr<CMeldrixRights>& Rights() { return rights_; }
  std::string ConfigFile() const { return data_.File("meldrix.cfg"); }
  std::vector<std::string> Journal() const { return korvane_.Journal(); }

  ScriptedPrompt prompt;

 private:
  TempFolder data_;
  KorvaneStubProcess korvane_;
  EventLoop loop_;
  CMessageCommandLineInfo commandLine_;
  std::unique_ptr<CMeldrixRights> rights_;
  std::unique_ptr<IEngineHost> engine_;
  std::optional<CMainLoop> mainLoop_;
  std::optional<ProgramContext> context_;
  std::optional<CEnginePump> pump_;
  std::optional<CMainFrame> frame_;
};

// The child of `parent` named `name`; a test that looks for a missing one
// fails loudly instead of crashing.
template <class T>
T* Child(QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  if (!child) throw std::runtime_error(std::string("no child named ") + name);
  return child;
}

// Triggers `command` and hands the modal dialog it opens, of type D, to `act`,
// which ends it (accept or reject). Returns false when no such dialog came.
template <class D>
bool WithDialog(CMainFrame& frame, CMainFrame::Command command, const std::function<void(D&)>& act) {
  bool seen = false;
  QTimer::singleShot(0, [&] {
    if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
      seen = true;
      act(*dialog);
      if (dialog->isVisible()) dialog->reject();
    }
  });
  frame.Action(command)->trigger();
  return seen;
}

// Runs `step` (which opens a modal message box) and returns the box's text,
// answering it with `button`; empty when no box came.
inline QString MessageBoxText(const std::function<void()>& step,
                              QMessageBox::StandardButton button = QMessageBox::Ok) {
  QString text;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      text = box->text();
      if (QAbstractButton* answer = box->button(button)) answer->click();
      else box->reject();
    }
  });
  step();
  return text;
}

// Answers the next message box, one that opens after the caller returns
// (say, once a dialog has closed), with `button`; its text goes to `text`.
inline void AnswerNextMessageBox(QMessageBox::StandardButton button, std::shared_ptr<QString> text) {
  QTimer::singleShot(0, [button, text] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      *text = box->text();
      box->button(button)->click();
    }
  });
}

// Pixels of `image` inside `band` whose colour is near `colour`.
inline int PixelsNear(const QImage& image, const QRect& band, const QColor& colour, int tolerance = 40) {
  int count = 0;
  const QRect area = band.intersected(image.rect());
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (std::abs(pixel.red() - colour.red()) <= tolerance &&
          std::abs(pixel.green() - colour.green()) <= tolerance &&
          std::abs(pixel.blue() - colour.blue()) <= tolerance)
        ++count;
    }
  return count;
}

}  // namespace meldrix::testing
