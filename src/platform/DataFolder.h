// Where the program and its data live: the starting data folder is
// $MELDRIX_DATA when set, else "../Data" next to the folder of the executable.
#pragma once

#include <string>

namespace meldrix {

// Full path of the running program (from /proc/self/exe); empty when unknown.
std::string ExecutablePath();
// Folder of the running program, without a trailing slash.
std::string ExecutableFolder();
// The folder the configuration is looked for first.
std::string StartingDataFolder();

}  // namespace meldrix
