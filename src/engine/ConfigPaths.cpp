#include "engine/ConfigPaths.h"

#include "platform/AtomicFile.h"
#include "platform/DataFolder.h"
#include "platform/PrivateProfile.h"
#include "platform/Cp1252.h"

namespace meldrix {
namespace {

constexpr std::int64_t kMasterCopySlackNs = 2'000'000'000;

// Settings values are Windows-1252 texts; file names on Linux are UTF-8.
// A relative folder is taken relative to the starting folder, not to whatever
// the working directory happens to be.
std::string FolderFromSetting(const std::string& value, const std::string& startingFolder) {
  const std::string folder = Cp1252ToUtf8(value);
  if (!folder.empty() && folder.front() != '/') return JoinPath(startingFolder, folder);
  return folder;
}

}  // namespace

std::string JoinPath(std::string_view first, std::string_view second) {
  std::string joined(first);
  if (joined.empty() || joined.back() != '/') joined += '/';
  joined += second;
  return joined;
}

std::string ConfigPaths::FileNameFor(std::string_view instance) {
  return "meldrix" + std::string(instance) + ".cfg";
}

ConfigPaths ConfigPaths::Resolve(const std::string& startingFolder, std::string_view instance) {
  const std::string fileName = FileNameFor(instance);
  const std::string startingFile = JoinPath(startingFolder, fileName);
  ConfigPaths paths;
  const std::string cfgPath = PrivateProfile::GetString(startingFile, "Settings", "CfgPath", "");
  paths.configFolder = cfgPath.empty() ? startingFolder : FolderFromSetting(cfgPath, startingFolder);
  const std::string cfgPath2 = PrivateProfile::GetString(startingFile, "Settings", "CfgPath2", "");
  if (!cfgPath2.empty())
    paths.masterFile = JoinPath(FolderFromSetting(cfgPath2, startingFolder), fileName);
  paths.configFile = JoinPath(paths.configFolder, fileName);
  return paths;
}

ConfigPaths ConfigPaths::Resolve(std::string_view instance) {
  return Resolve(StartingDataFolder(), instance);
}

bool ApplyMasterCopy(const ConfigPaths& paths) {
  if (paths.masterFile.empty() || paths.masterFile == paths.configFile) return false;
  const auto masterTime = FileModifiedTimeNs(paths.masterFile);
  if (!masterTime) return false;
  const auto configTime = FileModifiedTimeNs(paths.configFile);
  if (configTime && *masterTime <= *configTime + kMasterCopySlackNs) return false;
  const auto content = ReadWholeFile(paths.masterFile);
  if (!content) return false;
  return WriteFileAtomically(paths.configFile, *content, AtomicWriteOptions{masterTime});
}

}  // namespace meldrix
