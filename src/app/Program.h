// The program meldrix: start-up in its fixed order, the main loop, shut-down.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace meldrix {

// Runs the program with the command-line `arguments` (without the program
// name); the log goes to `out`, message boxes and start-up errors to `err`.
// Returns the exit status: 0 after a clean run, 1 when start-up failed or
// another instance with the same parameters runs.
int RunProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace meldrix
