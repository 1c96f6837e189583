#include "platform/DdeRuntimeFolder.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "platform/Cp1252.h"

namespace meldrix {

std::string DdeRuntimeFolderPath() {
  if (const char* dir = std::getenv("MELDRIX_DDE_DIR"); dir && *dir) return dir;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::string(runtime) + "/dde";
  return "/tmp/dde-" + std::to_string(geteuid());
}

std::optional<std::string> PrepareDdeRuntimeFolder(std::string& error) {
  std::string folder = DdeRuntimeFolderPath();
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create the DDE folder " + folder + ": " + std::strerror(errno);
    return std::nullopt;
  }
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0) {
    error = "cannot examine the DDE folder " + folder + ": " + std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISDIR(st.st_mode)) {
    error = "the DDE folder " + folder + " is not a directory";
    return std::nullopt;
  }
  if (st.st_uid != geteuid()) {
    error = "the DDE folder " + folder + " belongs to another user";
    return std::nullopt;
  }
  if ((st.st_mode & 022) != 0) {
    error = "the DDE folder " + folder + " is writable by others";
    return std::nullopt;
  }
  return folder;
}

std::pair<std::string, int> SplitServiceAddress(const std::string& service) {
  std::size_t at = service.rfind('@');
  if (at == std::string::npos || at == 0 || at + 1 == service.size()) return {service, 0};
  int pid = 0;
  for (std::size_t i = at + 1; i < service.size(); ++i) {
    if (service[i] < '0' || service[i] > '9' || pid > 100000000) return {service, 0};
    pid = pid * 10 + (service[i] - '0');
  }
  return {service.substr(0, at), pid};
}

namespace {

bool ProcessGone(int pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

}  // namespace

std::vector<DdeSocketEntry> FindDdeSockets(const std::string& folder, const std::string& service) {
  auto [wanted, wantedPid] = SplitServiceAddress(service);
  std::vector<std::tuple<long long, long long, DdeSocketEntry>> found;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return {};
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() < 6 || name.compare(name.size() - 5, 5, ".sock") != 0) continue;
    auto [svc, pid] = SplitServiceAddress(name.substr(0, name.size() - 5));
    if (pid <= 0) continue;
    std::string path = folder + "/" + name;
    if (ProcessGone(pid)) {
      unlink(path.c_str());
      continue;
    }
    if (!wanted.empty() && !EqualsNoCaseAscii(svc, wanted)) continue;
    if (wantedPid != 0 && pid != wantedPid) continue;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
    found.emplace_back(static_cast<long long>(st.st_mtim.tv_sec),
                       static_cast<long long>(st.st_mtim.tv_nsec),
                       DdeSocketEntry{svc, pid, path});
  }
  closedir(dir);
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return std::tie(std::get<0>(a), std::get<1>(a), std::get<2>(a).pid) <
           std::tie(std::get<0>(b), std::get<1>(b), std::get<2>(b).pid);
  });
  std::vector<DdeSocketEntry> result;
  for (auto& f : found) result.push_back(std::move(std::get<2>(f)));
  return result;
}

}  // namespace meldrix
