// Device names of the serial ports: COM n is /dev/ttyS<n-1> unless key
// "COM<n>" of section "Ports" of the configuration file names another device
// (a USB adapter, a pseudo-terminal). The same section maps LPT1..LPT3.
#pragma once

#include <string>

#include "platform/ConfigValueReader.h"

namespace meldrix {

// Section "Ports" key `name` when set, else `fallback`. `reader` may be empty.
std::string MappedDevicePath(const std::string& name, const std::string& fallback,
                             const ConfigValueReader& reader);

// The device of COM<port> (port 1-based).
std::string SerialDevicePath(unsigned port, const ConfigValueReader& reader);

}  // namespace meldrix
