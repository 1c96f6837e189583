// Device names of the serial ports: COM n is /dev/ttyS<n-1> unless key
// "COM<n>" of section "Ports" of the configuration file names another device
// (a USB adapter, a pseudo-terminal). The same section maps LPT1..LPT3.
#pragma once

#include <functional>
#include <string>

namespace meldrix {

// A value of the configuration file by section and key; "" when absent.
using ConfigValueReader = std::function<std::string(const std::string& section, const std::string& key)>;

// Section "Ports" key `name` when set, else `fallback`. `reader` may be empty.
std::string MappedDevicePath(const std::string& name, const std::string& fallback,
                             const ConfigValueReader& reader);

// The device of COM<port> (port 1-based).
std::string SerialDevicePath(unsigned port, const ConfigValueReader& reader);

}  // namespace meldrix
