// A fresh temporary folder for configuration tests, removed afterwards.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace meldrix::profiletest {

class ProfileTempFolder {
 public:
  ProfileTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "meldrix-cfg-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~ProfileTempFolder() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  ProfileTempFolder(const ProfileTempFolder&) = delete;
  ProfileTempFolder& operator=(const ProfileTempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Sets a file's last-write time to `seconds` since the epoch.
  static void SetTime(const std::string& path, long long seconds, long nanoseconds = 0) {
    const struct timespec times[2] = {{static_cast<time_t>(seconds), nanoseconds},
                                      {static_cast<time_t>(seconds), nanoseconds}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  // Number of entries in the folder (to spot left-over temporary files).
  std::size_t EntryCount() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(path_)) ++n;
    return n;
  }

 private:
  std::string path_;
};

}  // namespace meldrix::profiletest
