// A narrow view of the configuration file for layers that read a setting or
// two (device names, service endpoints): a value by section and key, "" when
// absent. Tests pass a lambda over a map.
#pragma once

#include <functional>
#include <string>

namespace meldrix {

using ConfigValueReader =
    std::function<std::string(const std::string& section, const std::string& key)>;

// The values of the configuration file at `configPath`, through the
// private-profile layer.
ConfigValueReader ConfigFileValues(std::string configPath);

}  // namespace meldrix
