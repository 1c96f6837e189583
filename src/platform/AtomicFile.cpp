#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace meldrix {
namespace {

std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<bool(const std::string&)>& BeforeRenameHook() {
  static std::function<bool(const std::string&)> hook;
  return hook;
}

bool Fail(std::string* error, std::string what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
  errno = err;
  return false;
}

// The file the path finally names: symbolic links are followed so that the
// rename replaces the file and not the link.
std::string ResolveTarget(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) return resolved;
  return path;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

void SetAtomicWriteBeforeRenameHook(std::function<bool(const std::string&)> hook) {
  std::lock_guard lock(HookMutex());
  BeforeRenameHook() = std::move(hook);
}

bool WriteFileAtomically(const std::string& path, std::string_view content,
                         const AtomicWriteOptions& options, std::string* error) {
  const std::string target = ResolveTarget(path);
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return Fail(error, target + " is not a regular file", EISDIR);
    // A read-only file stays as it is, as it would with an in-place write;
    // a file without any write permission counts as read-only even for root.
    if ((st.st_mode & 0222) == 0) return Fail(error, target + " is read-only", EACCES);
    if (::access(target.c_str(), W_OK) != 0) return Fail(error, target, errno);
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return Fail(error, target, errno);
  }

  const std::string folder = FolderOf(target);
  const auto slash = target.find_last_of('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = folder + "/." + base + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return Fail(error, "cannot create a temporary file in " + folder, errno);

  auto abandon = [&](std::string what, int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    return Fail(error, std::move(what), err);
  };
  if (::fchmod(fd, mode) != 0) return abandon("fchmod " + temp, errno);
  if (!WriteAll(fd, content)) return abandon("write " + temp, errno);
  if (options.modifiedTimeNs) {
    const struct timespec times[2] = {
        {0, UTIME_OMIT},
        {static_cast<time_t>(*options.modifiedTimeNs / 1000000000),
         static_cast<long>(*options.modifiedTimeNs % 1000000000)}};
    if (::futimens(fd, times) != 0) return abandon("futimens " + temp, errno);
  }
  if (::fsync(fd) != 0) return abandon("fsync " + temp, errno);
  {
    std::function<bool(const std::string&)> hook;
    {
      std::lock_guard lock(HookMutex());
      hook = BeforeRenameHook();
    }
    if (hook && !hook(target)) return abandon("interrupted before rename of " + target, EINTR);
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return Fail(error, "close " + temp, err);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return Fail(error, "rename to " + target, err);
  }
  // Make the rename itself durable.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

std::optional<std::int64_t> FileModifiedTimeNs(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string data;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}

}  // namespace meldrix
