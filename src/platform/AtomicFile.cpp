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

bool SetModifiedTime(int fd, std::int64_t modifiedTimeNs) {
  const struct timespec times[2] = {{0, UTIME_OMIT},
                                    {static_cast<time_t>(modifiedTimeNs / 1000000000),
                                     static_cast<long>(modifiedTimeNs % 1000000000)}};
  return ::futimens(fd, times) == 0;
}

// The fallback when the file cannot be replaced: the same inode, so owner,
// group, mode and links stay; not crash-safe like the rename, but the
// alternative is not writing at all.
bool WriteInPlace(const std::string& target, std::string_view content,
                  const AtomicWriteOptions& options, std::string* error) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Fail(error, target, errno);
  auto fail = [&](const std::string& step) {
    const int err = errno;
    ::close(fd);
    return Fail(error, target + ": " + step, err);
  };
  if (!WriteAll(fd, content)) return fail("write");
  if (::ftruncate(fd, static_cast<off_t>(content.size())) != 0) return fail("truncate");
  if (options.modifiedTimeNs && !SetModifiedTime(fd, *options.modifiedTimeNs))
    return fail("futimens");
  if (::fsync(fd) != 0) return fail("fsync");
  if (::close(fd) != 0) return Fail(error, target + ": close", errno);
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
  // Every failure names the file and ends with the system's error text.
  auto fail = [&](const std::string& step, int err) {
    return Fail(error, target + (step.empty() ? "" : ": " + step), err);
  };
  mode_t mode = 0644;
  struct stat st {};
  const bool existed = ::stat(target.c_str(), &st) == 0;
  if (existed) {
    if (!S_ISREG(st.st_mode)) return fail("not a regular file", EISDIR);
    // A read-only file stays as it is, as it would with an in-place write;
    // a file without any write permission counts as read-only even for root.
    if ((st.st_mode & 0222) == 0) return fail("read-only", EACCES);
    if (::access(target.c_str(), W_OK) != 0) return fail("", errno);
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return fail("", errno);
  }

  const std::string folder = FolderOf(target);
  const auto slash = target.find_last_of('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = folder + "/." + base + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    const int err = errno;
    // A folder we may not write, holding a file we may: write it in place.
    if (existed && (err == EACCES || err == EPERM))
      return WriteInPlace(target, content, options, error);
    return fail("cannot create a temporary file in " + folder, err);
  }

  auto abandon = [&](std::string what, int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(std::move(what), err);
  };
  if (existed) {
    // The new file keeps the old one's owner and group. Who may not give it
    // away (a member of the file's group, say) writes in place instead, so
    // the file never changes hands.
    struct stat made {};
    if (::fstat(fd, &made) != 0) return abandon("fstat " + temp, errno);
    const uid_t uid = made.st_uid == st.st_uid ? static_cast<uid_t>(-1) : st.st_uid;
    const gid_t gid = made.st_gid == st.st_gid ? static_cast<gid_t>(-1) : st.st_gid;
    if ((uid != static_cast<uid_t>(-1) || gid != static_cast<gid_t>(-1)) &&
        ::fchown(fd, uid, gid) != 0) {
      ::close(fd);
      ::unlink(temp.c_str());
      return WriteInPlace(target, content, options, error);
    }
  }
  // After fchown, which may clear set-id bits.
  if (::fchmod(fd, mode) != 0) return abandon("fchmod " + temp, errno);
  if (!WriteAll(fd, content)) return abandon("write " + temp, errno);
  if (options.modifiedTimeNs && !SetModifiedTime(fd, *options.modifiedTimeNs))
    return abandon("futimens " + temp, errno);
  if (::fsync(fd) != 0) return abandon("fsync " + temp, errno);
  {
    std::function<bool(const std::string&)> hook;
    {
      std::lock_guard lock(HookMutex());
      hook = BeforeRenameHook();
    }
    if (hook && !hook(target)) return abandon("interrupted before rename", EINTR);
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return fail("close " + temp, err);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    // A sticky folder lets only the owner replace the file; we may still write it.
    if (existed && (err == EACCES || err == EPERM))
      return WriteInPlace(target, content, options, error);
    return fail("rename", err);
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
