#include "platform/SerialPortMap.h"

namespace meldrix {

std::string MappedDevicePath(const std::string& name, const std::string& fallback,
                             const ConfigValueReader& reader) {
  if (reader) {
    std::string mapped = reader("Ports", name);
    if (!mapped.empty()) return mapped;
  }
  return fallback;
}

std::string SerialDevicePath(unsigned port, const ConfigValueReader& reader) {
  std::string fallback = port ? "/dev/ttyS" + std::to_string(port - 1) : std::string();
  return MappedDevicePath("COM" + std::to_string(port), fallback, reader);
}

}  // namespace meldrix
