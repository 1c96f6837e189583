#include "util/PathHelpers.h"

#include "platform/Cp1252.h"

namespace meldrix {
namespace {

size_t LastSeparator(std::string_view path) { return path.find_last_of("/\\"); }

bool IsBareDrive(std::string_view text) {
  return text.size() == 2 && text[1] == ':' &&
         ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
}

}  // namespace

std::string FileNameOf(std::string_view path) {
  const size_t sep = LastSeparator(path);
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string FileTitleOf(std::string_view path) {
  std::string name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string DirectoryOf(std::string_view path) {
  const size_t sep = LastSeparator(path);
  if (sep == std::string_view::npos) return {};
  std::string_view directory = path.substr(0, sep);
  // Cutting the separator off a root or a drive would turn it into a
  // relative path.
  if (directory.empty() || IsBareDrive(directory)) return std::string(path.substr(0, sep + 1));
  return std::string(directory);
}

std::string CombinePath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  if (!path.empty() && !IsPathSeparator(path.back())) path += '/';
  path += name;
  return path;
}

std::string CombinePathExt(std::string_view directory, std::string_view title,
                           std::string_view extension) {
  std::string name(title);
  name += '.';
  name += extension;
  return CombinePath(directory, name);
}

std::string ChangeExtension(std::string_view path, std::string_view extension) {
  const size_t sep = LastSeparator(path);
  const size_t nameStart = sep == std::string_view::npos ? 0 : sep + 1;
  const size_t dot = path.rfind('.');
  std::string result(dot != std::string_view::npos && dot >= nameStart ? path.substr(0, dot) : path);
  result += '.';
  result += extension;
  return result;
}

std::string ToSystemPath(std::string_view path) { return ToNativePath(Cp1252ToUtf8(path)); }

std::string ToNativePath(std::string_view path) {
  std::string native(path);
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

}  // namespace meldrix
