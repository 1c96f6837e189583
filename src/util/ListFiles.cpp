#include "util/ListFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "util/PathHelpers.h"

namespace meldrix {
namespace {

// Deeper trees than this are refused rather than risking the stack.
constexpr int kMaxDepth = 100;

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool WildMatch(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// The Windows attribute word of one entry; 0 when it vanished or is a
// dangling link.
uint32_t AttributesOf(int dirFd, const char* name) {
  struct stat st {};
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;
  uint32_t attributes = 0;
  if (S_ISLNK(st.st_mode)) {
    attributes |= kAttrReparsePoint;
    if (fstatat(dirFd, name, &st, 0) != 0) return 0;
  }
  if (S_ISDIR(st.st_mode))
    attributes |= kAttrDirectory;
  else if (S_ISREG(st.st_mode))
    attributes |= kAttrArchive;
  else
    attributes |= kAttrSystem;
  if (name[0] == '.') attributes |= kAttrHidden;
  if (faccessat(dirFd, name, W_OK, AT_EACCESS) != 0) attributes |= kAttrReadOnly;
  return attributes;
}

struct Search {
  std::string_view filePattern;
  bool recursive;
  bool fullPath;
  uint32_t mask;
  std::vector<std::string>& names;
  std::error_code* error;

  void Fail(int err) {
    if (error && !*error) *error = std::error_code(err, std::generic_category());
  }

  // `folder` is how the folder is written in full paths ("" for the working
  // folder); it is already in native form.
  void Run(const std::string& folder, int depth) {
    if (depth > kMaxDepth) {
      Fail(ELOOP);
      return;
    }
    DirHandle dir(opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir) {
      Fail(errno);
      return;
    }
    std::vector<std::string> files, subfolders;
    const int fd = dirfd(dir.get());
    for (;;) {
      errno = 0;  // readdir reports errors only through errno
      const dirent* entry = readdir(dir.get());
      if (!entry) {
        if (errno != 0) Fail(errno);
        break;
      }
      const std::string_view name = entry->d_name;
      const bool matches = MatchesFilePattern(filePattern, name);
      if (!matches && !recursive) continue;
      const uint32_t attributes = AttributesOf(fd, entry->d_name);
      if (attributes == 0) continue;
      const bool isFile = (attributes & (kAttrDirectory | kAttrSystem)) == 0;
      if (matches && isFile && (mask == 0 || (attributes & mask) != 0))
        files.emplace_back(name);
      if (recursive && attributes == kAttrDirectory && name[0] != '.')
        subfolders.emplace_back(name);
    }
    dir.reset();
    std::sort(files.begin(), files.end());
    std::sort(subfolders.begin(), subfolders.end());
    for (std::string& file : files)
      names.push_back(fullPath ? CombinePath(folder, file) : std::move(file));
    for (const std::string& sub : subfolders) Run(CombinePath(folder, sub), depth + 1);
  }
};

}  // namespace

bool MatchesFilePattern(std::string_view pattern, std::string_view name) {
  if (WildMatch(pattern, name)) return true;
  // "name.*" also finds "name", and "*.*" every name.
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
         WildMatch(pattern.substr(0, pattern.size() - 2), name);
}

size_t ListFiles(std::string_view pattern, std::vector<std::string>& names, unsigned options,
                 uint32_t attributeMask, std::error_code* error) {
  if (options & kListClear) names.clear();
  if (error) error->clear();
  const size_t before = names.size();
  const std::string filePattern = FileNameOf(pattern);
  Search search{filePattern, (options & kListRecursive) != 0, (options & kListFullPath) != 0,
                attributeMask, names, error};
  search.Run(ToNativePath(DirectoryOf(pattern)), 0);
  return names.size() - before;
}

}  // namespace meldrix
