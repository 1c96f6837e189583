// The reading side of a file source. Each file is taken under an exclusive
// lock: read whole, cut to length 0 and, when asked, deleted, all while the
// lock is held, so a writer that locks the file never loses a byte. Bytes
// that were read but not handed over because the per-poll message limit was
// reached stay here and go first at the next poll; while any wait, no
// further file is taken.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sources/SerialSource.h"

namespace meldrix {

// Poll intervals of the file kind.
inline constexpr unsigned kFileRetryMs = 1000;    // some file could not be opened
inline constexpr unsigned kFileIdleMs = 30000;    // everything could be read

struct FilePollResult {
  bool someNotOpened = false;  // a file exists but is locked or not readable
  bool limitReached = false;   // bytes are kept for the next, immediate poll
  std::size_t filesRead = 0;
  // The files this poll opened or tried to open (all but those found gone),
  // as the file system names them: their closing shows to a watch of the
  // folder as a write, which is this poll's own and no news.
  std::vector<std::string> touched;
};

// True when `path` names several files: it holds "*" or "?".
bool IsFilePattern(const std::string& path);

class CFileSource {
 public:
  // Reads the file `setting` names (or every file matching it) in name order
  // and hands each byte to `feed`. `setting` is an engine text (Windows-1252,
  // "\" or "/"); the names that reach the file system are UTF-8.
  FilePollResult Poll(const std::string& setting, bool removeFile, const SourceByteFeed& feed);

  std::size_t PendingBytes() const { return pending_.size() - pendingPos_; }
  void Reset();  // forgets kept bytes (at close)

  // Takes one file: true with its content (maybe empty) when it could be
  // opened and locked; false when it is locked by another or cannot be
  // opened. `vanished` tells that it did not exist.
  static bool TakeFile(const std::string& path, bool removeFile, std::string& content,
                       bool* vanished);

 private:
  bool FeedPending(const SourceByteFeed& feed);

  std::string pending_;
  std::size_t pendingPos_ = 0;
};

}  // namespace meldrix
