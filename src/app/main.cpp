#include <signal.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/Program.h"
#include "platform/Signals.h"

int main(int argc, char** argv) {
  // Before any thread starts, so the main loop alone receives the signals.
  meldrix::BlockProgramSignals();
  // A reader of standard output that goes away (meldrix | tee log) must not
  // end the program: writes then fail with EPIPE and the console log stops.
  // Commands started by EXECUTE get the default handling back.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return meldrix::RunProgram(arguments, std::cout, std::cerr);
}
