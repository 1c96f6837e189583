// Starting a command line as a process of its own: /bin/sh -c <command>, with
// this program's current folder and environment and no inherited descriptors.
// Nothing waits for the command; the child is reaped when it ends.
#pragma once

#include <string>

namespace meldrix {

// 0 when the process started, else the system error number.
int SpawnDetached(const std::string& command);

}  // namespace meldrix
