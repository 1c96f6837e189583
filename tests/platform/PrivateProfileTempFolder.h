// The configuration tests' temporary folder: the shared one, with the file
// helpers under the names those tests use.
#pragma once

#include "support/Files.h"
#include "support/TempFolder.h"

namespace meldrix::profiletest {

class ProfileTempFolder : public testing::TempFolder {
 public:
  static void Write(const std::string& path, const std::string& bytes) { testing::WriteFile(path, bytes); }
  static std::string Read(const std::string& path) { return testing::ReadFile(path); }
  static void SetTime(const std::string& path, long long seconds, long nanoseconds = 0) {
    testing::SetFileTime(path, seconds, nanoseconds);
  }
};

}  // namespace meldrix::profiletest
