// Listing of files by a pattern such as "/var/spool/in/*.txt", for the file
// source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace meldrix {

// Option bits of ListFiles.
inline constexpr unsigned kListClear = 1;      // empty the name array first
inline constexpr unsigned kListRecursive = 2;  // also search the subfolders
inline constexpr unsigned kListFullPath = 4;   // append folder + name, not the bare name

// Attribute bits, as the system's file search of Windows reports them. On
// Linux: directories 0x10, regular files 0x20, other kinds 0x04; 0x01 when
// the entry is not writable for this process, 0x02 for names beginning with
// ".", 0x400 for symbolic links (which are followed for the kind).
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrReparsePoint = 0x400;

// Appends the files that match `pattern` (a folder, then a file-name part
// with the wildcards "*" and "?"; without a folder, the working folder) and
// returns how many were appended, in name order within each folder. Only
// regular files are taken (directories, devices and pipes never); with a
// non-zero `attributeMask` only those sharing a bit with it. With
// kListRecursive the same file-name part is searched in every subfolder whose
// attributes are exactly kAttrDirectory (no links, no hidden or read-only
// folders), depth first after the folder's own files.
// When a folder cannot be read, `error` (if given) receives the reason of the
// first failure; what could be read is still appended.
size_t ListFiles(std::string_view pattern, std::vector<std::string>& names, unsigned options,
                 uint32_t attributeMask, std::error_code* error = nullptr);

// Wildcard match of a file name, as the file search does it: "*" any run,
// "?" one character, letters compared without regard to ASCII case, and a
// trailing ".*" also matches a name without an extension ("*.*" matches all).
bool MatchesFilePattern(std::string_view pattern, std::string_view name);

}  // namespace meldrix
