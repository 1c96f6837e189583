#include "sources/FileOutputChannel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "sources/SerialSourceErrors.h"
#include "util/PathHelpers.h"
#include "util/StringTable.h"

namespace meldrix {

bool CFileOutputChannel::Open(const OutPortServices& services) {
  if (!hasResolvedName_) {
    resolvedName_ = settings_.m_File;
    hasResolvedName_ = true;
  }
  if (fd_ >= 0) return true;
  // Appended: every message goes to the end, also when another program
  // writes to the same file.
  fd_ = resolvedName_.empty()
            ? -1
            : ::open(ToSystemPath(resolvedName_).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd_ < 0) {
    services.ShowError(FillText(LoadText("IDS_OUTPUT_FILE_OPEN_FAILED"), {resolvedName_}));
    return false;
  }
  return true;
}

void CFileOutputChannel::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool CFileOutputChannel::Send(std::string_view bytes, const std::string* sourceFile,
                              const OutPortServices& services) {
  if (sourceFile && services.setVariable)
    services.setVariable("$INFILE", services.expand ? services.expand(*sourceFile) : *sourceFile);
  // Every kind of source writes to the expanded name, not only file sources.
  std::string name = services.expand ? services.expand(settings_.m_File) : settings_.m_File;
  if (hasResolvedName_ && name != resolvedName_) Close();  // the next file is another one
  resolvedName_ = name;
  hasResolvedName_ = true;
  if (!IsOpen() && !Open(services)) return false;
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;  // a full disk is a failed send, not a silent loss
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (settings_.m_FileMode != 0) Close();
  return ok;
}

std::string CFileOutputChannel::Describe() const {
  const std::string& file = settings_.m_File;
  return LoadText("IDS_DESCRIBE_FILE") + " " + (file.size() > 30 ? file.substr(0, 30) + "..." : file);
}

}  // namespace meldrix
