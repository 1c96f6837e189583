#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace meldrix {

namespace {

constexpr char kFrontRequest[] = "front\n";

std::string ErrnoText(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool MakeSocketAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

}  // namespace

std::string InstanceRuntimeFolder() {
  if (const char* dir = std::getenv("MELDRIX_RUNTIME_DIR"); dir && *dir) return dir;
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir)
    return std::string(dir) + "/meldrix";
  // The service's runtime directory, which an operator shares by running as
  // the service's user.
  if (::access("/run/meldrix", W_OK | X_OK) == 0) return "/run/meldrix";
  return "/tmp/meldrix-" + std::to_string(::getuid());
}

std::string SingleInstance::FileStem(const std::string& className) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string stem;
  for (unsigned char c : className) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || (c == '.' && !stem.empty())) {
      stem += static_cast<char>(c);
    } else {
      stem += '%';
      stem += kHex[c >> 4];
      stem += kHex[c & 15];
    }
  }
  // Socket paths are short; very long instance names are cut and made unique
  // by a hash of the whole name.
  if (stem.size() > 60)
    stem = stem.substr(0, 40) + "~" + std::to_string(std::hash<std::string>{}(className));
  return stem;
}

SingleInstance::SingleInstance(const std::string& className, std::string folder) {
  if (folder.empty()) folder = InstanceRuntimeFolder();
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error_ = ErrnoText("cannot create", folder);
    return;
  }
  std::string stem = folder + "/" + FileStem(className);
  lockPath_ = stem + ".lock";
  socketPath_ = stem + ".sock";
  lockFd_ = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd_ < 0) {
    error_ = ErrnoText("cannot open", lockPath_);
    return;
  }
  if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      state_ = Result::AlreadyRunning;
    } else {
      error_ = ErrnoText("cannot lock", lockPath_);
    }
    ::close(lockFd_);
    lockFd_ = -1;
    return;
  }
  state_ = Result::First;
}

SingleInstance::~SingleInstance() {
  if (loop_) loop_->Unwatch(watch_);
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    ::unlink(socketPath_.c_str());  // still under the lock: nobody else owns it
  }
  if (lockFd_ >= 0) ::close(lockFd_);
}

bool SingleInstance::AskFirstToFront() {
  sockaddr_un address;
  if (!MakeSocketAddress(socketPath_, address)) return false;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::send(fd, kFrontRequest, sizeof kFrontRequest - 1, MSG_NOSIGNAL) ==
                static_cast<ssize_t>(sizeof kFrontRequest - 1);
  ::close(fd);
  return ok;
}

namespace {

// Reads until the peer shuts its side, `limit` bytes came, or the time is up;
// false on time-out or error.
bool ReadAll(int fd, std::string& text, std::size_t limit, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char buffer[1024];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() >= limit) return true;
  }
}

bool SendAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t sent = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    done += static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace

std::optional<std::string> SingleInstance::Request(const std::string& className,
                                                   const std::string& request, std::string& error,
                                                   std::string folder, int timeoutMs) {
  if (folder.empty()) folder = InstanceRuntimeFolder();
  const std::string path = folder + "/" + FileStem(className) + ".sock";
  sockaddr_un address;
  if (!MakeSocketAddress(path, address)) {
    error = "socket path too long: " + path;
    return std::nullopt;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = ErrnoText("cannot make a socket for", path);
    return std::nullopt;
  }
  std::optional<std::string> reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    error = ErrnoText("no running instance answers on", path);
  } else if (!SendAll(fd, request) || ::shutdown(fd, SHUT_WR) != 0) {
    error = ErrnoText("cannot send the request to", path);
  } else if (std::string text; !ReadAll(fd, text, 1 << 20, timeoutMs)) {
    error = "no complete reply from the running instance on " + path;
  } else {
    reply = std::move(text);
  }
  ::close(fd);
  return reply;
}

bool SingleInstance::Listen(EventLoop& loop, std::function<void()> onFront,
                            RequestHandler onRequest) {
  if (state_ != Result::First) return false;
  sockaddr_un address;
  if (!MakeSocketAddress(socketPath_, address)) {
    error_ = "socket path too long: " + socketPath_;
    return false;
  }
  // A socket file left by a crashed instance is ours to replace: we hold the lock.
  ::unlink(socketPath_.c_str());
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listenFd_ < 0 ||
      ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 4) != 0) {
    error_ = ErrnoText("cannot listen on", socketPath_);
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  loop_ = &loop;
  onFront_ = std::move(onFront);
  onRequest_ = std::move(onRequest);
  watch_ = loop.Watch(listenFd_, POLLIN, [this](short) { Accept(); });
  return true;
}

void SingleInstance::Accept() {
  for (;;) {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    // The request is a few bytes sent at once; a peer that does not finish
    // it within a short time is dropped rather than blocking the main loop.
    // An older peer closes after "front\n" instead of shutting its side:
    // both end the request.
    std::string request;
    const bool complete = ReadAll(fd, request, kMaxRequest, 500);
    if (request == kFrontRequest) {
      ::close(fd);
      if (onFront_) onFront_();
      continue;
    }
    if (complete && onRequest_) {
      timeval limit{2, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
      SendAll(fd, onRequest_(request));
    }
    ::close(fd);
  }
}

namespace {

std::string FolderPart(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file the path finally names, so that two links to one configuration
// share its lock; a file that does not exist yet is named through its folder.
std::string ResolvedConfigFile(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) return resolved;
  const auto slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (::realpath(FolderPart(path).c_str(), resolved))
    return std::string(resolved) + (std::string(resolved) == "/" ? "" : "/") + name;
  return path;
}

}  // namespace

ConfigurationLock::ConfigurationLock(const std::string& configFile)
    : configFile_(ResolvedConfigFile(configFile)) {
  const std::string folder = FolderPart(configFile_);
  folderFd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd_ < 0) {
    if (errno == ENOENT) state_ = Result::FolderMissing;
    error_ = ErrnoText("cannot open the configuration folder", folder);
    return;
  }
  const std::string lockPath = configFile_ + ".lock";
  // Read-only is enough for flock, so a lock file made by another user (root
  // for a service, say) serves everyone who may read it.
  lockFd_ = ::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (lockFd_ < 0 && errno != EACCES && errno != EPERM && errno != EROFS) {
    error_ = ErrnoText("cannot open", lockPath);
    return;
  }
  if (lockFd_ < 0) {
    error_ = ErrnoText("cannot open or create", lockPath) + "; locking the folder " + folder +
             " instead: only one instance runs from it";
    wholeFolder_ = true;
  }
  auto take = [this](int fd, int how) {
    if (::flock(fd, how | LOCK_NB) == 0) return true;
    if (errno == EWOULDBLOCK) {
      state_ = Result::InUse;
    } else {
      error_ = ErrnoText("cannot lock", configFile_);
    }
    return false;
  };
  // Every holder of a lock file also shares the folder, so a process that
  // could only lock the whole folder and one with a lock file exclude each other.
  if (wholeFolder_) {
    if (!take(folderFd_, LOCK_EX)) return;
  } else if (!take(lockFd_, LOCK_EX) || !take(folderFd_, LOCK_SH)) {
    return;
  }
  state_ = Result::Locked;
}

ConfigurationLock::~ConfigurationLock() {
  // The lock file stays: removing it could let a third process lock a new
  // file while a second still waits on the old one.
  if (lockFd_ >= 0) ::close(lockFd_);
  if (folderFd_ >= 0) ::close(folderFd_);
}

}  // namespace meldrix
