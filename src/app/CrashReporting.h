// The program's crash report (platform/CrashReport.h) with its name and
// version, and, in test builds only, a way to make the running program fail
// on purpose.
#pragma once

#include "platform/CrashReport.h"  // ClearExitReport
#include "platform/EventLoop.h"

namespace meldrix {

// Installs the crash report for "Meldrix". Test builds take the syslog
// socket from MELDRIX_TEST_SYSLOG when set.
void InstallProgramCrashReport();

// Test builds only (nothing happens otherwise): MELDRIX_TEST_CRASH = "segv",
// "abort", "terminate" or "exit" makes the program fail that way from its
// running loop.
void ArmCrashTrigger(EventLoop& loop);

}  // namespace meldrix
