// Starting a command line as a process of its own: /bin/sh -c <command>, with
// this program's current folder and environment and no inherited descriptors.
// Nothing waits for the command: it is started through a short-lived
// intermediate process, so it belongs to init (or the nearest subreaper) at
// once and no thread or signal handler of ours has to reap it.
#pragma once

#include <string>

namespace meldrix {

// 0 when the process started, else the system error number (also when the
// shell cannot be executed). Signals the program ignores or blocks get their
// default handling back in the child.
int SpawnDetached(const std::string& command);

}  // namespace meldrix
