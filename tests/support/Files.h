// Whole-file reads and writes as bytes, and setting a file's modification time.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>

namespace meldrix::testing {

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Sets a file's access and modification time to `seconds` since the epoch.
inline void SetFileTime(const std::string& path, long long seconds, long nanoseconds = 0) {
  const struct timespec times[2] = {{static_cast<time_t>(seconds), nanoseconds},
                                    {static_cast<time_t>(seconds), nanoseconds}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace meldrix::testing
