#include "app/CommandLine.h"

#include <array>
#include <utility>

#include "platform/Cp1252.h"

namespace meldrix {

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

using Action = CMessageCommandLineInfo::Action;

constexpr std::array<std::pair<const char*, Action>, 6> kLongOptions{{
    {"--help", Action::Help},
    {"--version", Action::Version},
    {"--activate", Action::Activate},
    {"--deactivate", Action::Deactivate},
    {"--status", Action::Status},
    {"--clear", Action::Clear},
}};

}  // namespace

void CMessageCommandLineInfo::Parse(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (StartsWith(argument, "--")) {
      bool known = false;
      for (const auto& [name, longAction] : kLongOptions) {
        if (argument != name) continue;
        known = true;
        if (action != Action::Run && action != longAction) conflictingActions.push_back(argument);
        action = longAction;
      }
      if (!known) unknownSwitches.push_back(argument);
    } else if (!argument.empty() && (argument[0] == '/' || argument[0] == '-')) {
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

std::string CommandLineHelp() {
  return "Usage: meldrix [switches] [instance]\n"
         "       meldrix --activate|--deactivate|--status|--clear [instance]\n"
         "\n"
         "Receives alarm and paging texts from serial devices, files, a TCP port,\n"
         "e-mail and DDE, and hands the matched messages to Korvane. The instance\n"
         "name selects the configuration file meldrix<instance>.cfg.\n"
         "\n"
         "Switches (\"/\" or \"-\", any case):\n"
         "  -HIDE, -DDE        run without a window (headless)\n"
         "  -MIN..., -MAX...   start the window minimised or maximised\n"
         "  -AUTOMATION, -EMBEDDING, -NOSPLASH...\n"
         "\n"
         "Requests to the running instance of the same name:\n"
         "  --activate         activate processing (asks for the password when protected)\n"
         "  --deactivate       deactivate processing (likewise)\n"
         "  --status           print the counters, whether processing is active, the sources\n"
         "  --clear            empty the log window\n"
         "\n"
         "  --help             show this text\n"
         "  --version          show the version\n"
         "\n"
         "Exit status: 0 done, 1 failed or refused, 2 wrong command line.\n"
         "The data folder is $MELDRIX_DATA, else /var/lib/meldrix for a program installed\n"
         "under /usr, else ../Data beside the program's folder. See meldrix(1).\n";
}

}  // namespace meldrix
