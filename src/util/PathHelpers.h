// Path and file-name manipulation. Both "\" and "/" separate path parts, so
// paths written for Windows keep working; new paths are joined with "/".
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

// The part after the last separator, or the whole text.
std::string FileNameOf(std::string_view path);
// FileNameOf without the part from its last "." on.
std::string FileTitleOf(std::string_view path);
// The part before the last separator; "" when there is none. A root ("/") or a
// bare drive ("C:") keeps its separator: "/a" gives "/", "C:\a" gives "C:\".
std::string DirectoryOf(std::string_view path);
// directory + "/" + name; no separator is added when the directory is empty
// or already ends with one.
std::string CombinePath(std::string_view directory, std::string_view name);
// CombinePath(directory, title + "." + extension).
std::string CombinePathExt(std::string_view directory, std::string_view title,
                           std::string_view extension);
// The path without the extension of its file name (a "." in a directory part
// does not count), then "." and `extension`.
std::string ChangeExtension(std::string_view path, std::string_view extension);

// The path with every "\" turned into "/", as the system's file calls need it.
std::string ToNativePath(std::string_view path);

// A file name of the engine (Windows-1252, "\" or "/") as the file system
// takes it: UTF-8 with "/" separators.
std::string ToSystemPath(std::string_view path);

constexpr bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace meldrix
