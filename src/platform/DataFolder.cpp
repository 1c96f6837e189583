#include "platform/DataFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace meldrix {

std::string ExecutablePath() {
  std::error_code ec;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

std::string ExecutableFolder() {
  const std::string exe = ExecutablePath();
  const auto slash = exe.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string StartingDataFolderFor(const std::string& executableFolder,
                                  const std::string& dataVariable) {
  if (!dataVariable.empty()) return dataVariable;
  if (executableFolder.rfind("/usr/", 0) == 0) return kSystemDataFolder;
  return std::filesystem::path(executableFolder + "/../Data").lexically_normal().string();
}

std::string StartingDataFolder() {
  const char* data = std::getenv("MELDRIX_DATA");
  return StartingDataFolderFor(ExecutableFolder(), data ? data : "");
}

}  // namespace meldrix
