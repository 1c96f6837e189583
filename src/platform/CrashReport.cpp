#include "platform/CrashReport.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <typeinfo>

#ifndef MELDRIX_VERSION
#define MELDRIX_VERSION "unknown"
#endif

namespace meldrix {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kEventFatal = 0;
constexpr int kEventExit = 100;
constexpr int kEventAbort = 200;

// The state a handler reads: plain buffers filled at installation, as a
// handler may neither allocate nor take locks.
struct CrashState {
  char name[64] = "Meldrix";
  char version[128] = MELDRIX_VERSION;
  char folder[256] = "/tmp";
  char path[512] = "";  // built at the first report, reused by later ones
  sockaddr_un syslog{};
  int syslogFd = -1;
  long utcOffset = 0;  // seconds east of UTC at installation
  std::atomic<bool> exitReport{false};
  std::atomic<bool> reporting{false};
  bool installed = false;
};

CrashState state;
alignas(16) char alternateStack[64 * 1024];

// A fixed buffer with async-signal-safe appends.
struct Text {
  char data[1024];
  std::size_t used = 0;
  Text& Add(const char* text) {
    while (*text && used + 1 < sizeof data) data[used++] = *text++;
    data[used] = '\0';
    return *this;
  }
  Text& Number(unsigned long long value, unsigned base = 10, int width = 0) {
    char digits[32];
    int count = 0;
    do {
      digits[count++] = "0123456789abcdef"[value % base];
      value /= base;
    } while (value && count < 32);
    while (count < width && count < 32) digits[count++] = '0';
    while (count) {
      char one[2] = {digits[--count], '\0'};
      Add(one);
    }
    return *this;
  }
  Text& Signed(long long value) {
    if (value < 0) {
      Add("-");
      return Number(static_cast<unsigned long long>(-value));
    }
    return Number(static_cast<unsigned long long>(value));
  }
};

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}
void WriteText(int fd, const Text& text) { WriteAll(fd, text.data, text.used); }

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "?";
  }
}

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(long long days, int& year, unsigned& month, unsigned& day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<long long>(yearOfEra) + era * 400 + (month <= 2));
}

// "<folder>/<name>_YYYYMMDD_HHMMSS.dmp" of the local time, from time() and
// the offset taken at installation (localtime_r may lock).
void BuildPath() {
  if (state.path[0]) return;
  const long long local = static_cast<long long>(::time(nullptr)) + state.utcOffset;
  long long days = local / 86400, seconds = local % 86400;
  if (seconds < 0) {
    seconds += 86400;
    --days;
  }
  int year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  Text path;
  path.Add(state.folder).Add("/").Add(state.name).Add("_");
  path.Number(static_cast<unsigned>(year), 10, 4).Number(month, 10, 2).Number(day, 10, 2).Add("_");
  path.Number(static_cast<unsigned long long>(seconds / 3600), 10, 2)
      .Number(static_cast<unsigned long long>(seconds / 60 % 60), 10, 2)
      .Number(static_cast<unsigned long long>(seconds % 60), 10, 2)
      .Add(".dmp");
  std::memcpy(state.path, path.data, path.used + 1 <= sizeof state.path ? path.used + 1 : sizeof state.path);
  state.path[sizeof state.path - 1] = '\0';
}

// One syslog datagram: "<11>Meldrix[pid]: event N: text" (user facility,
// error level).
void Syslog(int eventId, const Text& message) {
  if (state.syslogFd < 0) return;
  Text line;
  line.Add("<11>").Add(state.name).Add("[").Number(static_cast<unsigned long long>(::getpid())).Add("]: event ");
  line.Number(static_cast<unsigned long long>(eventId)).Add(": ").Add(message.data);
  ::sendto(state.syslogFd, line.data, line.used, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&state.syslog),
           sizeof state.syslog);
}

void CopyMemoryMap(int out) {
  const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (maps < 0) return;
  char buffer[4096];
  while (true) {
    const ssize_t got = ::read(maps, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    WriteAll(out, buffer, static_cast<std::size_t>(got));
  }
  ::close(maps);
}

// Writes the report and records the outcome. `what` describes the cause;
// signal 0 means none.
void Report(int eventId, int signal, const void* address, const char* what) {
  BuildPath();
  Text outcome;
  const int file = ::open(state.path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (file < 0) {
    outcome.Add("No dump file saved (error ").Number(static_cast<unsigned>(errno)).Add("): ").Add(state.path);
  } else {
    Text head;
    head.Add(state.name).Add(" crash report\nVersion: ").Add(state.version).Add("\nCause: ").Add(what).Add("\n");
    if (signal) {
      head.Add("Signal: ").Number(static_cast<unsigned>(signal)).Add(" (").Add(SignalName(signal)).Add(")\n");
      head.Add("Fault address: 0x").Number(reinterpret_cast<std::uintptr_t>(address), 16).Add("\n");
    }
    head.Add("Process: ").Number(static_cast<unsigned long long>(::getpid()));
    head.Add("\nThread: ").Signed(static_cast<long long>(::syscall(SYS_gettid))).Add("\n\nBacktrace:\n");
    WriteText(file, head);
    void* frames[64];
    const int count = ::backtrace(frames, 64);
    ::backtrace_symbols_fd(frames, count, file);
    static const char kMaps[] = "\nMemory map:\n";
    WriteAll(file, kMaps, sizeof kMaps - 1);
    CopyMemoryMap(file);
    ::close(file);
    outcome.Add("Saved dump file to: ").Add(state.path);
  }
  Syslog(eventId, outcome);
  Text err;
  err.Add(state.name).Add(": ").Add(what).Add("; ").Add(outcome.data).Add("\n");
  WriteText(STDERR_FILENO, err);
}

// True for the first report of the process; a second thread failing at the
// same time goes straight to the default action.
bool FirstReport() {
  state.exitReport.store(false);
  return !state.reporting.exchange(true);
}

void OnFatalSignal(int signal, siginfo_t* info, void*) {
  const int saved = errno;
  if (FirstReport())
    Report(signal == SIGABRT ? kEventAbort : kEventFatal, signal, info ? info->si_addr : nullptr,
           signal == SIGABRT ? "abort" : "fatal signal");
  // The default action: a fault comes back when the instruction runs again, a
  // raised signal is raised anew; either way the core dump happens.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  errno = saved;
  if (info == nullptr || info->si_code <= 0) ::raise(signal);
}

void OnTerminate() {
  if (FirstReport()) {
    // Not a signal handler: naming the exception is allowed here.
    Text what;
    what.Add("std::terminate");
    if (std::exception_ptr current = std::current_exception()) {
      try {
        std::rethrow_exception(current);
      } catch (const std::exception& error) {
        what.Add(" with ").Add(typeid(error).name()).Add(": ").Add(error.what());
      } catch (...) {
        what.Add(" with an unknown exception");
      }
    }
    Report(kEventFatal, 0, nullptr, what.data);
  }
  std::abort();
}

void OnExit() {
  if (!state.exitReport.exchange(false)) return;
  if (!state.reporting.exchange(true)) Report(kEventExit, 0, nullptr, "exit without the regular shut-down");
}

void Copy(char* target, std::size_t size, const std::string& value) {
  const std::size_t length = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(target, value.data(), length);
  target[length] = '\0';
}

}  // namespace

void InstallCrashReport(const CrashReportSettings& settings) {
  Copy(state.name, sizeof state.name, settings.applicationName.empty() ? "Application" : settings.applicationName);
  if (!settings.version.empty()) Copy(state.version, sizeof state.version, settings.version);
  const char* folder = std::getenv("TMPDIR");
  Copy(state.folder, sizeof state.folder, folder && *folder ? folder : "/tmp");
  state.path[0] = '\0';
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local)) state.utcOffset = local.tm_gmtoff;

  if (state.syslogFd >= 0) ::close(state.syslogFd);
  state.syslogFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  state.syslog = {};
  state.syslog.sun_family = AF_UNIX;
  Copy(state.syslog.sun_path, sizeof state.syslog.sun_path, settings.syslogSocket);
  state.exitReport.store(true);
  if (state.installed) return;
  state.installed = true;

  // backtrace() loads its unwinder on first use, which allocates: not in a
  // handler.
  void* warmUp[4];
  ::backtrace(warmUp, 4);
  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  ::sigaltstack(&stack, nullptr);  // the main thread's; a stack overflow there still reports
  struct sigaction action {};
  action.sa_sigaction = OnFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  ::sigemptyset(&action.sa_mask);
  for (int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
  std::set_terminate(OnTerminate);
  std::atexit(OnExit);
}

void ClearExitReport() { state.exitReport.store(false); }

const char* ProgramVersion() { return MELDRIX_VERSION; }

}  // namespace meldrix
