// The program meldrix: start-up in its fixed order, the main loop, shut-down.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace meldrix {

class CMainLoop;
class CMeldrixRights;
class EventLoop;
class IEngineHost;
class UserInterface;

// What a front end gets to work with for the whole run.
struct ProgramContext {
  const CMessageCommandLineInfo& commandLine;
  EventLoop& loop;
  IEngineHost& engine;
  CMainLoop& mainLoop;
  // No object means no password protection; the front end may replace it.
  std::unique_ptr<CMeldrixRights>& rights;
};

// The desktop program's window around the run. The headless program has
// none: it runs the event loop itself and watches the signals.
class CProgramFrontEnd {
 public:
  virtual ~CProgramFrontEnd() = default;
  // The message boxes of the run; installed before the engine is made.
  virtual std::shared_ptr<UserInterface> MakeUserInterface() = 0;
  // Makes the main window, still hidden, before "AutoActivate" is acted on.
  virtual void Create(ProgramContext& context) = 0;
  // Shows the window as the command line asks and runs until the event loop
  // quits; the front end watches the program's signals. Returns the status.
  virtual int Run() = 0;
  // Another start of this instance asked to come to the front.
  virtual void BringToFront() = 0;
};

// True when the command line and the environment ask for a window: a display
// is there (DISPLAY or WAYLAND_DISPLAY) and neither "HIDE" nor "DDE" is given.
bool ShowsWindow(const CMessageCommandLineInfo& commandLine);

// Runs the program with the command-line `arguments` (without the program
// name); the log goes to `out`, message boxes and start-up errors to `err`.
// Returns the exit status: 0 after a clean run, 1 when start-up failed or
// another instance with the same parameters runs, 2 for a wrong command line.
// "--help" and "--version" print and return; the control requests go to the
// running instance (a password from standard input). Without a front end the
// program runs headless; under systemd it reports its state (Type=notify).
int RunProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
               CProgramFrontEnd* frontEnd = nullptr);

}  // namespace meldrix
