#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Program.h"
#include "platform/DataFolder.h"
#include "platform/Signals.h"

namespace {

// The desktop program is a sibling executable, so the headless program never
// loads (or even maps) the window system's libraries. Returns only when it
// cannot be started; the program then runs headless.
void StartDesktopProgram(char** argv) {
  const std::string desktop = meldrix::ExecutableFolder() + "/meldrix-ui";
  std::vector<char*> arguments{const_cast<char*>(desktop.c_str())};
  for (char** argument = argv + 1; *argument != nullptr; ++argument) arguments.push_back(*argument);
  arguments.push_back(nullptr);
  ::execv(desktop.c_str(), arguments.data());
  if (errno != ENOENT)
    std::cerr << "meldrix: cannot start the desktop program " << desktop << ": "
              << std::strerror(errno) << "; running headless" << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread starts, so the main loop alone receives the signals.
  meldrix::BlockProgramSignals();
  // A reader of standard output that goes away (meldrix | tee log) must not
  // end the program: writes then fail with EPIPE and the console log stops.
  // Commands started by EXECUTE get the default handling back.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  meldrix::CMessageCommandLineInfo commandLine;
  commandLine.Parse(arguments);
  // Help, version, requests and wrong command lines are answered here, never by a window.
  const bool runs = commandLine.action == meldrix::CMessageCommandLineInfo::Action::Run &&
                    commandLine.unknownSwitches.empty();
  if (argc > 0 && runs && meldrix::ShowsWindow(commandLine)) StartDesktopProgram(argv);
  return meldrix::RunProgram(arguments, std::cout, std::cerr);
}
