// Replacing a file as a whole: the new content goes to a temporary file in the
// same folder, is flushed to disk and then renamed over the old file, so a
// crash or a failed write never leaves a torn or half-written file behind.
// The new file keeps the old one's owner, group and mode. Where that cannot
// be had by rename (a folder we may not write, a sticky folder, an owner we
// may not give the file to), the file is written in place instead (write,
// truncate, fsync), which keeps the file itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace meldrix {

struct AtomicWriteOptions {
  // Last-write time to give the new file (nanoseconds since the epoch), e.g.
  // to keep the source's time when copying; nullopt leaves the current time.
  std::optional<std::int64_t> modifiedTimeNs;
};

// Writes `content` as the new content of `path`. An existing file that we may
// not write is left alone and the call fails (rename would bypass its mode);
// a symbolic link is followed so the link itself survives. Returns false on
// any failure, with `error` (when given) naming the file and ending with the
// system's error text, e.g. "/data/meldrix.cfg: Permission denied"; a failed
// rename leaves the old file untouched.
bool WriteFileAtomically(const std::string& path, std::string_view content,
                         const AtomicWriteOptions& options = {}, std::string* error = nullptr);

// Test hook: called after the temporary file is complete and before it is
// renamed over the target; returning false makes the write fail at that point,
// as an interruption would. An empty function removes the hook.
void SetAtomicWriteBeforeRenameHook(std::function<bool(const std::string& targetPath)> hook);

// Last-write time of a file in nanoseconds since the epoch; nullopt when it
// does not exist or cannot be examined.
std::optional<std::int64_t> FileModifiedTimeNs(const std::string& path);

// Reads a whole file; nullopt when it does not exist or cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace meldrix
