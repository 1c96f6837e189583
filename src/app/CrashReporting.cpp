#include "app/CrashReporting.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/CrashReport.h"

namespace meldrix {

void InstallProgramCrashReport() {
  CrashReportSettings settings;
  settings.applicationName = "Meldrix";
  settings.version = ProgramVersion();
#ifdef MELDRIX_CRASH_TRIGGER
  if (const char* socket = std::getenv("MELDRIX_TEST_SYSLOG"); socket && *socket) settings.syslogSocket = socket;
#endif
  InstallCrashReport(settings);
}

#ifdef MELDRIX_CRASH_TRIGGER
namespace {

// An exception leaving a noexcept function: std::terminate, as intended.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wterminate"
[[noreturn]] void ThrowFromNoexcept() noexcept { throw std::runtime_error("crash trigger"); }
#pragma GCC diagnostic pop

}  // namespace

void ArmCrashTrigger(EventLoop& loop) {
  const char* how = std::getenv("MELDRIX_TEST_CRASH");
  if (!how || !*how) return;
  const std::string kind = how;
  loop.StartTimer(200, [kind] {
    if (kind == "segv") {
      volatile int* wild = reinterpret_cast<volatile int*>(std::uintptr_t{16});
      *wild = 1;
    } else if (kind == "abort") {
      std::abort();
    } else if (kind == "terminate") {
      ThrowFromNoexcept();
    } else if (kind == "exit") {
      std::exit(3);
    }
  });
}
#else
void ArmCrashTrigger(EventLoop&) {}
#endif

}  // namespace meldrix
