#include <iostream>
#include <string>
#include <vector>

#include "app/Program.h"
#include "platform/Signals.h"

int main(int argc, char** argv) {
  // Before any thread starts, so the main loop alone receives the signals.
  meldrix::BlockProgramSignals();
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return meldrix::RunProgram(arguments, std::cout, std::cerr);
}
