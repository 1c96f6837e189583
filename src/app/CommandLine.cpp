#include "app/CommandLine.h"

#include "platform/Cp1252.h"

namespace meldrix {

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

void CMessageCommandLineInfo::Parse(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (!argument.empty() && (argument[0] == '/' || argument[0] == '-')) {
      std::string name = Cp1252Upper(std::string_view(argument).substr(1));
      if (name == "HIDE" || name == "DDE") {
        show = Show::Hidden;
        splash = false;
      } else if (name == "AUTOMATION" || name == "EMBEDDING") {
        (name == "AUTOMATION" ? automation : embedding) = true;
        splash = false;
        show = Show::MinimisedNoActivate;
      } else if (StartsWith(name, "MIN")) {
        show = Show::Minimised;
      } else if (StartsWith(name, "MAX")) {
        show = Show::Maximised;
        splash = false;
      } else if (StartsWith(name, "NOSPLASH")) {
        splash = false;
      } else {
        unknownSwitches.push_back(argument);
      }
    } else {
      instanceName = argument;
      windowClass += ":" + argument;
    }
  }
}

}  // namespace meldrix
