// Where the program and its data live: the starting data folder is
// $MELDRIX_DATA when set, else /var/lib/meldrix for a program installed under
// /usr (a system installation keeps its variable data there), else "../Data"
// next to the folder of the executable (a build tree or a self-contained
// installation).
#pragma once

#include <string>

namespace meldrix {

inline constexpr char kSystemDataFolder[] = "/var/lib/meldrix";

// Full path of the running program (from /proc/self/exe); empty when unknown.
std::string ExecutablePath();
// Folder of the running program, without a trailing slash.
std::string ExecutableFolder();
// The folder the configuration is looked for first.
std::string StartingDataFolder();
// The rule behind it, for an executable in `executableFolder` and the value
// of $MELDRIX_DATA (empty when unset).
std::string StartingDataFolderFor(const std::string& executableFolder, const std::string& dataVariable);

}  // namespace meldrix
