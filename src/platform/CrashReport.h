// Crash reports: when the program dies from a fatal signal (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGABRT), from std::terminate, or ends without passing its
// regular shut-down, a text report goes to $TMPDIR (else /tmp) as
// "<name>_YYYYMMDD_HHMMSS.dmp" (local time, mode 0600): the signal, fault
// address, thread, a backtrace of the failing thread, the program version and
// the memory map. The outcome goes to syslog under the application name with
// event id 0 (fatal signal or terminate), 100 (irregular exit) or 200
// (abort), and to standard error. Then the default action runs, so a core
// dump (or systemd-coredump) still happens.
//
// Everything a handler needs is prepared at installation; the handlers
// themselves use async-signal-safe calls only.
#pragma once

#include <string>

namespace meldrix {

struct CrashReportSettings {
  std::string applicationName = "Meldrix";
  std::string version;
  // The syslog datagram socket.
  std::string syslogSocket = "/dev/log";
};

// Installs the handlers for the process (once; later calls only update the
// settings) and arms the exit report.
void InstallCrashReport(const CrashReportSettings& settings);
// The regular shut-down has been passed: ending now writes no report.
void ClearExitReport();
// The version text built into the program.
const char* ProgramVersion();

}  // namespace meldrix
