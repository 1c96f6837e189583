#include "sources/FileSource.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "util/ListFiles.h"
#include "util/PathHelpers.h"

namespace meldrix {

bool IsFilePattern(const std::string& path) {
  return path.find_first_of("*?") != std::string::npos;
}

void CFileSource::Reset() {
  pending_.clear();
  pendingPos_ = 0;
}

bool CFileSource::TakeFile(const std::string& path, bool removeFile, std::string& content,
                           bool* vanished) {
  content.clear();
  if (vanished) *vanished = false;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    if (vanished) *vanished = (errno == ENOENT);
    return false;
  }
  // Shared with nobody: a file another process holds locked is left for later.
  struct stat info;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  if (info.st_size > 0) {
    char buffer[65536];
    for (;;) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        // Nothing is cut when the content could not be read whole.
        content.clear();
        ::close(fd);
        return false;
      }
      if (n == 0) break;
      content.append(buffer, static_cast<std::size_t>(n));
    }
    if (::ftruncate(fd, 0) != 0) {
      // Not emptied: reading it again later is better than losing it now.
      content.clear();
      ::close(fd);
      return false;
    }
  }
  if (removeFile) {
    // Only the file that was read: a new file renamed into place meanwhile stays.
    struct stat now;
    if (::stat(path.c_str(), &now) == 0 && now.st_dev == info.st_dev && now.st_ino == info.st_ino)
      ::unlink(path.c_str());
  }
  ::close(fd);
  return true;
}

bool CFileSource::FeedPending(const SourceByteFeed& feed) {
  while (pendingPos_ < pending_.size()) {
    unsigned char byte = static_cast<unsigned char>(pending_[pendingPos_++]);
    if (!feed(byte)) {
      if (pendingPos_ == pending_.size()) Reset();
      return false;
    }
  }
  Reset();
  return true;
}

FilePollResult CFileSource::Poll(const std::string& setting, bool removeFile,
                                 const SourceByteFeed& feed) {
  const std::string path = ToSystemPath(setting);
  FilePollResult result;
  if (!FeedPending(feed)) {
    result.limitReached = true;
    return result;
  }
  std::vector<std::string> files;
  bool pattern = IsFilePattern(path);
  if (pattern) {
    ListFiles(path, files, kListClear | kListFullPath, 0);
  } else {
    files.push_back(path);
  }
  std::string content;
  for (const std::string& file : files) {
    bool vanished = false;
    const bool taken = TakeFile(file, removeFile, content, &vanished);
    if (!vanished) result.touched.push_back(file);
    if (!taken) {
      // A listed file that was taken away meanwhile is simply gone; the one
      // named file not being there yet counts as not openable, as it always did.
      if (!(pattern && vanished)) result.someNotOpened = true;
      continue;
    }
    ++result.filesRead;
    pending_ = std::move(content);
    pendingPos_ = 0;
    if (!FeedPending(feed)) {
      result.limitReached = true;
      break;  // the remaining files wait on disk
    }
  }
  return result;
}

}  // namespace meldrix
