// The three configuration paths the program keeps for its whole run: the
// configuration folder, the configuration file and the optional master copy.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

// Joins two path parts with one "/" unless the first already ends in one.
std::string JoinPath(std::string_view first, std::string_view second);

struct ConfigPaths {
  std::string configFolder;
  std::string configFile;
  std::string masterFile;  // empty when there is no master copy

  // File name of an instance: "meldrix" + instance + ".cfg".
  static std::string FileNameFor(std::string_view instance);

  // Works the paths out from the starting folder: the instance's file there is
  // read first; its "CfgPath" (default: the starting folder) becomes the
  // configuration folder and a non-empty "CfgPath2" gives the master copy.
  static ConfigPaths Resolve(const std::string& startingFolder, std::string_view instance);
  // The same from StartingDataFolder().
  static ConfigPaths Resolve(std::string_view instance);
};

// Master-copy rule: when the master file exists and its last-write time is
// later than the configuration file's time plus 2 seconds, it is copied over
// the configuration file (atomically, keeping the master's time). Returns true
// when a copy was made.
bool ApplyMasterCopy(const ConfigPaths& paths);

}  // namespace meldrix
