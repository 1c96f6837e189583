// The desktop program meldrix-ui: the program with its main window. meldrix
// starts it in its own place when there is a display; started without one
// (or with -HIDE) it runs headless like meldrix.
#include <signal.h>

#include <QApplication>
#include <iostream>
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

  QApplication application(argc, argv);
  QApplication::setApplicationName("Meldrix");
  meldrix::CDesktopFrontEnd frontEnd;
  return meldrix::RunProgram(arguments, std::cout, std::cerr, &frontEnd);
}
