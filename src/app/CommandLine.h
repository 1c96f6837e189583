// The command line: switches begin with "/" or "-" and are compared in upper
// case; every plain parameter is appended to the main window class name, and
// the last one is the instance name.
#pragma once

#include <string>
#include <vector>

namespace meldrix {

inline constexpr char kMainWindowClass[] = "MeldrixAppClass";

class CMessageCommandLineInfo {
 public:
  enum class Show { Normal, Hidden, Minimised, Maximised, MinimisedNoActivate };

  void Parse(const std::vector<std::string>& arguments);  // without the program name

  Show show = Show::Normal;
  bool splash = true;
  bool automation = false;
  bool embedding = false;
  std::string instanceName;
  std::string windowClass = kMainWindowClass;
  std::vector<std::string> unknownSwitches;  // for a warning; they change nothing
};

}  // namespace meldrix
