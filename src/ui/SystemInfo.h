// The text of the system information dialog: the program, its version and
// build date, Qt, the operating system and kernel, the configuration file.
#pragma once

#include <QString>
#include <string>

namespace meldrix {

QString SystemInformationText(const std::string& configFile);

}  // namespace meldrix
