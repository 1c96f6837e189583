#include "app/Program.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>

#include "app/CommandLine.h"
#include "app/CrashReporting.h"
#include "app/ConsoleLog.h"
#include "app/ControlRequests.h"
#include "util/LogLines.h"
#include "app/MainLoop.h"
#include "app/MeldrixEngineHost.h"
#include "app/Password.h"
#include "engine/ConfigPaths.h"
#include "util/StreamDoc.h"
#include "platform/Env.h"
#include "platform/EventLoop.h"
#include "platform/Signals.h"
#include "platform/SingleInstance.h"
#include "platform/SystemdNotify.h"
#include "platform/UserInterface.h"
#include "sources/SerialSourceErrors.h"
#include "platform/Cp1252.h"
#include "util/StringTable.h"

namespace meldrix {

namespace {

#ifndef MELDRIX_VERSION
#define MELDRIX_VERSION "unknown"
#endif

// The start of a sent command's log line ("Message to "), in the language
// of the run, so the journal can tell it from the red error lines.
std::string SentLinePrefix() {
  const std::string text = LoadText("IDS_MESSAGE_TO");
  return text.substr(0, text.find("%s"));
}

// Everything a start does besides running: the help, the version, a wrong
// command line, a request to the running instance. Nothing when it runs.
std::optional<int> CommandLineAction(const CMessageCommandLineInfo& commandLine, std::ostream& out,
                                     std::ostream& err) {
  std::vector<std::string> wrong = commandLine.unknownSwitches;
  wrong.insert(wrong.end(), commandLine.conflictingActions.begin(),
               commandLine.conflictingActions.end());
  if (!wrong.empty()) {
    std::string list;
    for (const std::string& argument : wrong) list += (list.empty() ? "" : " ") + argument;
    err << "meldrix: " << (commandLine.unknownSwitches.empty() ? "only one request at a time: "
                                                                : "unknown switch: ")
        << list << " (see meldrix --help)" << std::endl;
    return 2;
  }
  switch (commandLine.action) {
    case CMessageCommandLineInfo::Action::Run:
      return std::nullopt;
    case CMessageCommandLineInfo::Action::Help:
      out << CommandLineHelp() << std::flush;
      return 0;
    case CMessageCommandLineInfo::Action::Version:
      out << "meldrix " << MELDRIX_VERSION << std::endl;
      return 0;
    default:
      return RunControlClient(commandLine, std::cin, out, err);
  }
}

int Run(const CMessageCommandLineInfo& commandLine, std::ostream& out, std::ostream& err,
        CProgramFrontEnd* frontEnd) {
  // Taken from the environment before any thread starts, so that the
  // commands the program runs do not inherit it.
  SystemdNotify notify = SystemdNotify::FromEnvironment();
  EventLoop loop;  // first made, last gone: the others unregister from it
  ArmCrashTrigger(loop);  // test builds only
  // No second instance with the same parameters: it asks the first to come
  // to the front and ends.
  SingleInstance instance(commandLine.windowClass);
  if (instance.State() == SingleInstance::Result::AlreadyRunning) {
    instance.AskFirstToFront();
    err << "meldrix: "
        << Cp1252ToUtf8(FillText(LoadText("IDS_ALREADY_RUNNING"), {commandLine.windowClass}))
        << std::endl;
    return 1;
  }
  if (instance.State() != SingleInstance::Result::First) {
    err << "meldrix: cannot make sure that only one instance runs: " << instance.Error()
        << std::endl;
    return 1;
  }

  // One process per configuration file, whatever runtime folder the
  // environment gives: a second one would read the same sources twice and
  // write into the same file. It ends before touching anything.
  ConfigurationLock configLock(ConfigPaths::Resolve(commandLine.instanceName).configFile);
  switch (configLock.State()) {
    case ConfigurationLock::Result::Locked:
      if (configLock.LocksWholeFolder()) err << "meldrix: " << configLock.Error() << std::endl;
      break;
    case ConfigurationLock::Result::InUse:
      err << "meldrix: another process uses the configuration " << configLock.ConfigFile()
          << std::endl;
      return 1;
    case ConfigurationLock::Result::FolderMissing:
      err << "meldrix: " << configLock.Error() << "; running on the default settings"
          << std::endl;
      break;
    case ConfigurationLock::Result::Error:
      err << "meldrix: cannot make sure that only one process uses the configuration: "
          << configLock.Error() << std::endl;
      return 1;
  }

  // The password, before the engine; a damaged value leaves the program
  // unprotected.
  std::unique_ptr<CMeldrixRights> rights =
      LoadRights(ConfigPaths::Resolve(commandLine.instanceName).configFile);
  // The desktop program's message boxes already for the configuration load.
  std::optional<ScopedEnv> windowBoxes;
  if (frontEnd) windowBoxes.emplace(Env{.ui = frontEnd->MakeUserInterface()});

  // The serial library check of the original has nothing to check here: the
  // serial layer is part of the program. The DDE service "Meldrix" starts
  // with the engine, before the document loads the configuration.
  std::unique_ptr<IEngineHost> engine =
      CreateEngineHost(EngineStartup{commandLine.instanceName, &loop});
  CStreamDoc& log = engine->Log();
  // Message boxes of the headless program: a red log line and standard error,
  // for as long as the log lives.
  std::optional<ScopedEnv> consoleBoxes;
  if (!frontEnd)
    consoleBoxes.emplace(Env{.ui = std::make_shared<ConsoleUserInterface>(
                                 [&log](const std::string& line) { WriteRedLine(log, line); })});
  CConsoleLog console(out, CConsoleLog::IsTerminal(1), [&err] {
    err << "meldrix: the log can no longer be written to standard output; processing goes on"
        << std::endl;
  });
  if (CConsoleLog::IsJournal(1)) console.UseJournalPriorities(SentLinePrefix());
  log.AddObserver(&console);

  CMainLoop mainLoop(loop, *engine);
  mainLoop.StartSupervision();
  std::optional<SignalWatcher> signals;
  if (!frontEnd) signals.emplace(loop, [&](int signal) { mainLoop.OnSignal(signal); });
  ControlTarget control{*engine, mainLoop, rights};
  if (!instance.Listen(
          loop,
          [&] {
            log.Write(LoadText("IDS_ASKED_TO_FRONT") + "\n");
            if (frontEnd) frontEnd->BringToFront();
          },
          [&](const std::string& request) { return HandleControlRequest(request, control); }))
    err << "meldrix: " << instance.Error() << std::endl;

  ProgramContext context{commandLine, loop, *engine, mainLoop, rights};
  if (frontEnd) frontEnd->Create(context);
  if (engine->AutoActivate()) mainLoop.Activate();
  mainLoop.StartProcessingTimers();
  // Started and, when asked, activated: the service manager may go on.
  mainLoop.StartServiceNotification(notify);
  notify.Ready();

  int status = frontEnd ? frontEnd->Run() : loop.Run();
  notify.Stopping();
  if (engine->IsActive()) engine->Deactivate();
  console.FlushPartialLine(log);
  log.RemoveObserver(&console);
  out.flush();
  return status;
}

}  // namespace

bool ShowsWindow(const CMessageCommandLineInfo& commandLine) {
  if (commandLine.show == CMessageCommandLineInfo::Show::Hidden) return false;
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

int RunProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
               CProgramFrontEnd* frontEnd) {
  InstallProgramCrashReport();
  CMessageCommandLineInfo commandLine;
  commandLine.Parse(arguments);
  if (std::optional<int> done = CommandLineAction(commandLine, out, err)) {
    ClearExitReport();
    return *done;
  }
  int status = 1;
  try {
    status = Run(commandLine, out, err, frontEnd);
  } catch (const std::exception& error) {
    err << "meldrix: " << error.what() << std::endl;
  }
  ClearExitReport();  // the regular shut-down: no report at exit
  return status;
}

}  // namespace meldrix
