// Tells when files arrive in one folder, through inotify, so a reader can look
// at once instead of at its next timed look. Only files that are finished are
// reported: a file written and closed, or renamed into the folder. A file
// merely created is not: its writer may still be writing, and reading it then
// would only cut it short. Attribute changes (touch, chmod) bring no new bytes
// and are not reported either; a file that could not be opened is retried on
// the reader's own short timer anyway.
//
// inotify sees only what this host does to the folder. On network and cluster
// file systems (and FUSE, where sshfs and its like live) other hosts' files
// would go unseen, so Watch refuses such folders and the owner keeps its timed
// look alone.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace meldrix {

class FolderWatch {
 public:
  // Whether a change to the named entry of the folder matters to the owner.
  using NameFilter = std::function<bool(std::string_view name)>;

  FolderWatch() = default;
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Watches `folder` (a system path; "" is the working folder) instead of the
  // one watched before. False when it cannot be watched; Reason() says why:
  // ENOENT or ENOTDIR for a missing folder, EREMOTE for a network file
  // system, EMFILE or ENOSPC when the user's inotify instances or watches are
  // used up.
  bool Watch(const std::string& folder);
  // Ends the watch and gives the inotify instance back.
  void Stop();

  // Reads every waiting event without blocking; true when a relevant one came
  // (every named one without `relevant`), when the queue overflowed (events
  // were lost), or when the watch went away because the folder was deleted,
  // moved or unmounted: then Watching() turns false and the owner may watch
  // again. One read() when nothing is waiting; no system call without a watch.
  bool Changed(const NameFilter& relevant = {});

  bool Watching() const { return watch_ >= 0; }
  // The folder last given to Watch (whether that succeeded or not).
  const std::string& Folder() const { return folder_; }
  std::error_code Reason() const { return reason_; }
  // The inotify descriptor for poll(), or -1.
  int Fd() const { return fd_; }

 private:
  bool Fail(int error);
  void Unwatch();

  int fd_ = -1;
  int watch_ = -1;
  std::string folder_;
  std::error_code reason_;
};

}  // namespace meldrix
