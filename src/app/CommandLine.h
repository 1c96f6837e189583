// The command line: switches begin with "/" or "-" and are compared in upper
// case; every plain parameter is appended to the main window class name, and
// the last one is the instance name.
//
// Long options begin with two dashes ("--help") and are compared exactly, in
// lower case; they never reach the switch table, so "--hide" is not "-HIDE"
// and "-help" stays an unknown switch. A lone "--" is unknown too.
#pragma once

#include <string>
#include <vector>

namespace meldrix {

inline constexpr char kMainWindowClass[] = "MeldrixAppClass";

class CMessageCommandLineInfo {
 public:
  enum class Show { Normal, Hidden, Minimised, Maximised, MinimisedNoActivate };
  // What this start is for: the program itself, a text to print, or one
  // request to the running instance of the same name.
  enum class Action { Run, Help, Version, Activate, Deactivate, Status, Clear };

  void Parse(const std::vector<std::string>& arguments);  // without the program name

  // True for the requests sent to a running instance.
  bool IsControlRequest() const {
    return action == Action::Activate || action == Action::Deactivate ||
           action == Action::Status || action == Action::Clear;
  }

  Show show = Show::Normal;
  bool splash = true;
  bool automation = false;
  bool embedding = false;
  Action action = Action::Run;
  std::string instanceName;
  std::string windowClass = kMainWindowClass;
  // Switches and long options the program does not know; it refuses to start.
  std::vector<std::string> unknownSwitches;
  // More than one action was asked for ("--status --clear").
  std::vector<std::string> conflictingActions;
};

// The text of "--help".
std::string CommandLineHelp();

}  // namespace meldrix
