#include "platform/ConfigValueReader.h"

#include "platform/PrivateProfile.h"

namespace meldrix {

ConfigValueReader ConfigFileValues(std::string configPath) {
  // Read on every call, so an edited "Ports" or "Korvane" section takes effect
  // at the next open or command.
  return [path = std::move(configPath)](const std::string& section, const std::string& key) {
    return PrivateProfile::GetString(path, section, key, "");
  };
}

}  // namespace meldrix
