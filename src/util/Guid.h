#pragma once

#include <string>

namespace meldrix {

// A new random (version 4) GUID from the system's random source, in registry
// form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case digits; with
// `compact`, only the 32 hexadecimal digits. Empty when the system's random
// source cannot be read.
std::string NewGuidText(bool compact);

}  // namespace meldrix
