#include "expr/ExprFileNames.h"

#include "platform/Cp1252.h"
#include "util/PathHelpers.h"

namespace meldrix {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Bytes at the end that begin a UTF-8 character which the cut left incomplete.
size_t IncompleteTail(std::string_view bytes) {
  for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
    const auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    if (c < 0x80) return 0;
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return length > back ? back : 0;
  }
  return 0;
}

}  // namespace

std::string ExprFileSystemName(std::string_view name) { return Cp1252ToUtf8(ToNativePath(name)); }

std::string FileTextToCp1252(std::string bytes, bool cut) {
  if (std::string_view(bytes).substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    bytes.erase(0, kUtf8Bom.size());
    if (cut) bytes.resize(bytes.size() - IncompleteTail(bytes));
    return Utf8ToCp1252(bytes);
  }
  const size_t tail = cut ? IncompleteTail(bytes) : 0;
  const std::string_view whole(bytes.data(), bytes.size() - tail);
  if (!LooksLikeUtf8(whole)) return bytes;
  return Utf8ToCp1252(whole);
}

}  // namespace meldrix
