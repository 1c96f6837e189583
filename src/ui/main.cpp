// The desktop program meldrix-ui: the program with its main window. meldrix
// starts it in its own place when there is a display; started without one
// (or with -HIDE) it runs headless like meldrix.
#include <signal.h>

#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Program.h"
#include "platform/Signals.h"
#include "ui/DesktopFrontEnd.h"

int main(int argc, char** argv) {
  // Before any thread starts (Qt starts some), so the program's signals reach
  // only its own signal descriptor.
  meldrix::BlockProgramSignals();
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  meldrix::CMessageCommandLineInfo commandLine;
  commandLine.Parse(arguments);
  if (!meldrix::ShowsWindow(commandLine)) return meldrix::RunProgram(arguments, std::cout, std::cerr);

  // A display that cannot be opened must not stop the alarms: Qt would end
  // the process, so it is asked to fall back to drawing offscreen, and the
  // program then runs headless instead, where no window waits for answers.
  const bool platformChosen = std::getenv("QT_QPA_PLATFORM") != nullptr;
  if (!platformChosen) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    ::setenv("QT_QPA_PLATFORM", wayland != nullptr && *wayland ? "wayland;xcb;offscreen" : "xcb;offscreen", 1);
  }
  auto application = std::make_unique<QApplication>(argc, argv);
  if (!platformChosen) ::unsetenv("QT_QPA_PLATFORM");  // not for commands the program starts
  if (!platformChosen && QGuiApplication::platformName() == "offscreen") {
    application.reset();
    std::cerr << "meldrix: the display cannot be opened; running headless" << std::endl;
    return meldrix::RunProgram(arguments, std::cout, std::cerr);
  }
  QApplication::setApplicationName("Meldrix");
  meldrix::CDesktopFrontEnd frontEnd;
  return meldrix::RunProgram(arguments, std::cout, std::cerr, &frontEnd);
}
