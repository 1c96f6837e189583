#include "platform/FolderWatch.h"

#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace meldrix {
namespace {

// Finished files only; the folder itself going away is always reported.
constexpr std::uint32_t kWatchedEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kWatchGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

// The largest event the kernel hands over: a read that leaves at least this
// much of the buffer unused has taken everything that was waiting.
constexpr std::size_t kLargestEvent = sizeof(inotify_event) + NAME_MAX + 1;

// statfs magic numbers of file systems whose content other hosts change.
bool IsNetworkFileSystem(std::uint32_t type) {
  switch (type) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB (smbfs)
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2/SMB3
    case 0x00C36400:  // Ceph
    case 0x65735546:  // FUSE: sshfs and other remote mounts among local ones
    case 0x01021997:  // 9P (virtual machine and container shares)
    case 0x5346414F:  // AFS (OpenAFS)
    case 0x6B414653:  // AFS (kernel)
    case 0x73757245:  // Coda
    case 0x564C:      // NCP (NetWare)
    case 0x0BD00BD0:  // Lustre
    case 0x47504653:  // GPFS
    case 0x7461636F:  // OCFS2 (shared disk of a cluster)
    case 0x01161970:  // GFS2 (shared disk of a cluster)
    case 0x786F4256:  // VirtualBox shared folders
      return true;
    default:
      return false;
  }
}

}  // namespace

FolderWatch::~FolderWatch() { Stop(); }

bool FolderWatch::Fail(int error) {
  reason_ = std::error_code(error, std::generic_category());
  return false;
}

void FolderWatch::Unwatch() {
  if (watch_ >= 0) ::inotify_rm_watch(fd_, watch_);
  watch_ = -1;
}

void FolderWatch::Stop() {
  Unwatch();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  folder_.clear();
}

bool FolderWatch::Watch(const std::string& folder) {
  Unwatch();
  folder_ = folder;
  reason_.clear();
  const char* path = folder.empty() ? "." : folder.c_str();
  struct statfs info {};
  if (::statfs(path, &info) != 0) return Fail(errno);
  if (IsNetworkFileSystem(static_cast<std::uint32_t>(info.f_type))) return Fail(EREMOTE);
  if (fd_ < 0) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return Fail(errno);
  }
  // Events of an earlier watch may still wait; they carry its number and are
  // passed over.
  watch_ = ::inotify_add_watch(fd_, path, kWatchedEvents);
  if (watch_ < 0) return Fail(errno);
  return true;
}

bool FolderWatch::Changed(const NameFilter& relevant) {
  if (watch_ < 0) return false;
  bool changed = false;
  alignas(inotify_event) char buffer[16 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EAGAIN: nothing (more) waits
    for (std::size_t at = 0; at < static_cast<std::size_t>(n);) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += sizeof(inotify_event) + event->len;
      if (event->mask & IN_Q_OVERFLOW) {
        changed = true;  // events were lost: anything may have come
        continue;
      }
      if (event->wd != watch_) continue;  // left from an earlier watch
      if (event->mask & kWatchGone) {
        // A moved folder would still be followed under its new name: let go.
        Unwatch();
        changed = true;
        continue;
      }
      if ((event->mask & IN_ISDIR) || event->len == 0) continue;
      const std::string_view name(event->name, ::strnlen(event->name, event->len));
      if (!relevant || relevant(name)) changed = true;
    }
    if (static_cast<std::size_t>(n) + kLargestEvent <= sizeof buffer) break;
  }
  return changed;
}

}  // namespace meldrix
