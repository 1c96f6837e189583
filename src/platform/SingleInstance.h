// One running instance per main window class name. The first instance holds
// an exclusive lock on "<runtime folder>/<class>.lock" for its whole run (the
// kernel drops it when the process ends, so a crash never leaves a stale
// lock) and listens on "<class>.sock" beside it. A later instance with the
// same class name finds the lock taken, tells the first to come to the front
// through the socket and gives up.
//
// The same socket carries requests with replies (the operator's control
// switches): the client sends its request and shuts its write side; the first
// instance answers and closes. The request "front\n" has no reply.
//
// The runtime folder is $MELDRIX_RUNTIME_DIR when set, else
// $XDG_RUNTIME_DIR/meldrix, else /run/meldrix when it exists and is ours to
// write (the service's runtime directory), else /tmp/meldrix-<uid> (created
// with mode 0700).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/EventLoop.h"

namespace meldrix {

std::string InstanceRuntimeFolder();

class SingleInstance {
 public:
  enum class Result { First, AlreadyRunning, Error };

  // Takes the lock of `className` in `folder` (InstanceRuntimeFolder() when empty).
  SingleInstance(const std::string& className, std::string folder = "");
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  Result State() const { return state_; }
  const std::string& Error() const { return error_; }

  // For a second instance: asks the first to come to the front. True when
  // the first instance took the request.
  bool AskFirstToFront();

  // For the first instance: `onFront` runs on the loop whenever another
  // instance asks, `onRequest` for any other request and returns the reply.
  // Returns false (with Error()) when the socket cannot listen; the lock
  // still holds then.
  using RequestHandler = std::function<std::string(const std::string& request)>;
  bool Listen(EventLoop& loop, std::function<void()> onFront, RequestHandler onRequest = {});

  // Sends `request` to the instance of `className` listening in `folder`
  // (InstanceRuntimeFolder() when empty) and returns its whole reply; nothing
  // (with `error`) when no instance listens or the reply does not come
  // within `timeoutMs`.
  static std::optional<std::string> Request(const std::string& className, const std::string& request,
                                            std::string& error, std::string folder = "",
                                            int timeoutMs = 60000);
  // Longest request the first instance reads.
  static constexpr std::size_t kMaxRequest = 4096;

  // The file name used for a class name: letters, digits, "-", "_" and "."
  // stay, every other byte becomes "%XX", so any instance name is safe.
  static std::string FileStem(const std::string& className);

 private:
  void Accept();

  std::string lockPath_, socketPath_, error_;
  Result state_ = Result::Error;
  int lockFd_ = -1;
  int listenFd_ = -1;
  EventLoop* loop_ = nullptr;
  EventLoop::WatchId watch_ = 0;
  std::function<void()> onFront_;
  RequestHandler onRequest_;
};

// One process per configuration file, whatever the environment: the runtime
// folder above depends on $XDG_RUNTIME_DIR and the like, so a service and an
// operator's shell would each find their own. This lock lives beside the
// configuration file itself: an exclusive flock on "<file>.lock" (a file of
// its own, because the configuration is replaced by rename on every write)
// plus a shared flock on the folder. Where the lock file cannot be created
// (the folder is not ours to write), the folder itself is locked
// exclusively instead: then one instance of any name runs from that folder.
// The kernel drops the locks when the process ends.
class ConfigurationLock {
 public:
  // FolderMissing: there is no configuration folder, so nothing to guard.
  enum class Result { Locked, InUse, FolderMissing, Error };

  explicit ConfigurationLock(const std::string& configFile);
  ~ConfigurationLock();
  ConfigurationLock(const ConfigurationLock&) = delete;
  ConfigurationLock& operator=(const ConfigurationLock&) = delete;

  Result State() const { return state_; }
  // Why the lock could not be taken (Error), or the note about a fallback.
  const std::string& Error() const { return error_; }
  // True when the folder is locked in place of the lock file.
  bool LocksWholeFolder() const { return wholeFolder_; }
  // The configuration file as locked (symbolic links resolved).
  const std::string& ConfigFile() const { return configFile_; }

 private:
  std::string configFile_, error_;
  Result state_ = Result::Error;
  bool wholeFolder_ = false;
  int lockFd_ = -1;
  int folderFd_ = -1;
};

}  // namespace meldrix
