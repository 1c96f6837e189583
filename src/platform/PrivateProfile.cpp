#include "platform/PrivateProfile.h"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <list>
#include <mutex>

#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"

namespace meldrix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

constexpr std::string_view kBom = "\xEF\xBB\xBF";

}  // namespace

// ---------------------------------------------------------------------------
// IniDocument

std::string IniDocument::ToFile(std::string_view cp1252) const {
  return utf8_ ? Cp1252ToUtf8(cp1252) : std::string(cp1252);
}

std::string IniDocument::FromFile(std::string_view raw) const {
  return utf8_ ? Utf8ToCp1252(raw) : std::string(raw);
}

IniDocument::Line IniDocument::PlainLine(std::string text, std::string end) {
  Line line;
  line.text = std::move(text);
  line.end = std::move(end);
  return line;
}

IniDocument::Line IniDocument::MakeLine(std::string text, std::string end, bool utf8) {
  Line line;
  line.text = std::move(text);
  line.end = std::move(end);
  const std::string_view view = line.text;
  const std::string_view trimmed = Trim(view);
  if (trimmed.empty() || trimmed.front() == ';') return line;
  const size_t eq = view.find('=');
  if (eq == std::string_view::npos) return line;
  const std::string_view name = Trim(view.substr(0, eq));
  if (name.empty()) return line;
  line.isKey = true;
  line.keyName = utf8 ? Utf8ToCp1252(name) : std::string(name);
  size_t start = eq + 1;
  while (start < view.size() && IsBlank(view[start])) ++start;
  line.valueStart = start;
  return line;
}

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  if (bytes.substr(0, kBom.size()) == kBom) {
    doc.bom_ = true;
    doc.utf8_ = true;
    bytes.remove_prefix(kBom.size());
  } else {
    doc.utf8_ = LooksLikeUtf8(bytes);
  }
  bool endSeen = false;
  while (!bytes.empty()) {
    const size_t nl = bytes.find('\n');
    std::string_view text = bytes.substr(0, nl);
    std::string end;
    if (nl == std::string_view::npos) {
      bytes = {};
    } else {
      bytes.remove_prefix(nl + 1);
      end = "\n";
      if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
        end = "\r\n";
      }
    }
    if (!endSeen && !end.empty()) {
      doc.newLineEnd_ = end;
      endSeen = true;
    }
    const std::string_view trimmed = Trim(text);
    const size_t close = trimmed.rfind(']');
    if (!trimmed.empty() && trimmed.front() == '[' && close != std::string_view::npos) {
      Section section;
      const std::string_view name = Trim(trimmed.substr(1, close - 1));
      section.name = doc.utf8_ ? Utf8ToCp1252(name) : std::string(name);
      section.lines.push_back(PlainLine(std::string(text), std::move(end)));
      doc.sections_.push_back(std::move(section));
    } else if (doc.sections_.empty()) {
      doc.preamble_.push_back(PlainLine(std::string(text), std::move(end)));
    } else {
      doc.sections_.back().lines.push_back(MakeLine(std::string(text), std::move(end), doc.utf8_));
    }
  }
  doc.Reindex();
  return doc;
}

std::string IniDocument::Serialize() const {
  std::string out;
  if (bom_) out += kBom;
  for (const Line& line : preamble_) out += line.text + line.end;
  for (const Section& section : sections_)
    for (const Line& line : section.lines) out += line.text + line.end;
  return out;
}

void IniDocument::Reindex() {
  index_.clear();
  for (size_t i = 0; i < sections_.size(); ++i) index_[AsciiUpper(sections_[i].name)].push_back(i);
}

std::vector<size_t> IniDocument::SectionsNamed(std::string_view name) const {
  const auto it = index_.find(AsciiUpper(name));
  return it == index_.end() ? std::vector<size_t>{} : it->second;
}

const std::string& IniDocument::NewLineEnd() const { return newLineEnd_; }

bool IniDocument::HasSection(std::string_view section) const {
  return !SectionsNamed(section).empty();
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& section : sections_) names.push_back(section.name);
  return names;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key,
                                            size_t maxLength) const {
  for (const size_t index : SectionsNamed(section)) {
    const auto& lines = sections_[index].lines;
    for (size_t i = 1; i < lines.size(); ++i) {
      const Line& line = lines[i];
      if (!line.isKey || !EqualsNoCaseAscii(line.keyName, key)) continue;
      std::string_view value = Trim(std::string_view(line.text).substr(line.valueStart));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
      std::string result = FromFile(value);
      if (result.size() > maxLength) result.resize(maxLength);
      return result;
    }
  }
  return std::nullopt;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::vector<size_t> named = SectionsNamed(section);
  for (const size_t index : named) {
    for (size_t i = 1; i < sections_[index].lines.size(); ++i) {
      Line& line = sections_[index].lines[i];
      if (!line.isKey || !EqualsNoCaseAscii(line.keyName, key)) continue;
      line.text = line.text.substr(0, line.valueStart) + ToFile(value);
      return;
    }
  }
  Line added = MakeLine(ToFile(key) + "=" + ToFile(value), NewLineEnd(), utf8_);
  if (!named.empty()) {
    auto& lines = sections_[named.front()].lines;
    // After the last line with content, so blank separator lines stay last.
    size_t at = lines.size();
    while (at > 1 && Trim(lines[at - 1].text).empty()) --at;
    if (lines[at - 1].end.empty()) lines[at - 1].end = NewLineEnd();
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(added));
    return;
  }
  Line* last = nullptr;
  if (!sections_.empty())
    last = &sections_.back().lines.back();
  else if (!preamble_.empty())
    last = &preamble_.back();
  if (last) {
    if (last->end.empty()) last->end = NewLineEnd();
    if (!Trim(last->text).empty()) {
      // A blank line keeps the new section apart from the one before.
      if (!sections_.empty())
        sections_.back().lines.push_back(PlainLine("", NewLineEnd()));
      else
        preamble_.push_back(PlainLine("", NewLineEnd()));
    }
  }
  Section created;
  created.name = std::string(section);
  created.lines.push_back(PlainLine("[" + ToFile(section) + "]", NewLineEnd()));
  created.lines.push_back(std::move(added));
  sections_.push_back(std::move(created));
  Reindex();
}

void IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  for (const size_t index : SectionsNamed(section)) {
    auto& lines = sections_[index].lines;
    lines.erase(std::remove_if(lines.begin() + 1, lines.end(),
                               [&](const Line& line) {
                                 return line.isKey && EqualsNoCaseAscii(line.keyName, key);
                               }),
                lines.end());
  }
}

void IniDocument::DeleteSection(std::string_view section) {
  const std::string upper = AsciiUpper(section);
  const auto before = sections_.size();
  sections_.erase(std::remove_if(sections_.begin(), sections_.end(),
                                 [&](const Section& s) { return AsciiUpper(s.name) == upper; }),
                  sections_.end());
  if (sections_.size() != before) Reindex();
}

// ---------------------------------------------------------------------------
// Integer rules

int ParseProfileInt(std::string_view text, int def) {
  if (text.empty()) return def;
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i + 1 < text.size() && text[i] == '0') {
    const char prefix = text[i + 1];
    if (prefix == 'x' || prefix == 'X') base = 16;
    if (prefix == 'o' || prefix == 'O') base = 8;
    if (prefix == 'b' || prefix == 'B') base = 2;
    if (base != 10) i += 2;
  }
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      break;
    if (digit >= base) break;
    value = std::min<std::int64_t>(value * base + digit, std::int64_t{INT_MAX} + 1);
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

long ParseDecimalLong(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  unsigned long value = 0;
  const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned long digit = static_cast<unsigned long>(text[i] - '0');
    value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
  }
  if (negative) return value == limit ? LONG_MIN : -static_cast<long>(value);
  return static_cast<long>(value);
}

// ---------------------------------------------------------------------------
// PrivateProfile: the files, a small cache of parsed files, the lock

namespace {

struct FileIdentity {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  std::int64_t mtime = 0;
  std::int64_t ctime = 0;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> Identify(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino, st.st_size,
                      std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec,
                      std::int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec};
}

struct CachedFile {
  std::string path;
  FileIdentity identity;
  IniDocument doc;
};

// File times advance in clock ticks, so a file written again within the tick
// of its last write can keep size, inode and times. A parse is only reused
// when the file was already this old when it was read.
constexpr std::int64_t kRacyWindowNs = 100'000'000;

std::int64_t NowNs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// Reading a configuration key by key would parse the file once per key; the
// parsed form is kept until the file's identity (inode, size, times) changes.
class ProfileFiles {
 public:
  std::recursive_mutex mutex;

  // `unreadable` is set when the file exists but could not be read; it then
  // reads as empty, but must not be rewritten from that empty state.
  const IniDocument& Load(const std::string& path, bool* unreadable = nullptr) {
    if (unreadable) *unreadable = false;
    const auto identity = Identify(path);
    auto it = Find(path);
    if (!identity) {
      if (it != cache_.end()) cache_.erase(it);
      return empty_;
    }
    if (it != cache_.end() && it->identity == *identity) {
      cache_.splice(cache_.begin(), cache_, it);
      return cache_.front().doc;
    }
    if (it != cache_.end()) cache_.erase(it);
    const auto bytes = ReadWholeFile(path);
    if (!bytes) {
      if (unreadable) *unreadable = true;
      return empty_;
    }
    // Identify again after reading so a change during the read is not cached.
    const auto after = Identify(path);
    CachedFile entry{path, after.value_or(FileIdentity{}), IniDocument::Parse(*bytes)};
    const bool racy = NowNs() - identity->mtime < kRacyWindowNs ||
                      NowNs() - identity->ctime < kRacyWindowNs;
    if (!after || !(*after == *identity) || racy) entry.identity = FileIdentity{};
    cache_.push_front(std::move(entry));
    if (cache_.size() > kCacheSize) cache_.pop_back();
    return cache_.front().doc;
  }

  void Forget(const std::string& path) {
    auto it = Find(path);
    if (it != cache_.end()) cache_.erase(it);
  }

 private:
  static constexpr size_t kCacheSize = 8;
  std::list<CachedFile>::iterator Find(const std::string& path) {
    return std::find_if(cache_.begin(), cache_.end(),
                        [&](const CachedFile& f) { return f.path == path; });
  }
  std::list<CachedFile> cache_;
  const IniDocument empty_{};
};

ProfileFiles& Files() {
  static ProfileFiles files;
  return files;
}

thread_local std::string lastError;

}  // namespace

std::string PrivateProfile::GetString(const std::string& path, std::string_view section,
                                      std::string_view key, std::string_view def,
                                      size_t maxLength) {
  auto& files = Files();
  std::lock_guard lock(files.mutex);
  auto value = files.Load(path).Get(section, key, maxLength);
  if (value) return *value;
  std::string result(def);
  if (result.size() > maxLength) result.resize(maxLength);
  return result;
}

int PrivateProfile::GetInt(const std::string& path, std::string_view section,
                           std::string_view key, int def) {
  return ParseProfileInt(GetString(path, section, key, ""), def);
}

bool PrivateProfile::SectionExists(const std::string& path, std::string_view section) {
  auto& files = Files();
  std::lock_guard lock(files.mutex);
  return files.Load(path).HasSection(section);
}

bool PrivateProfile::Update(const std::string& path,
                            const std::function<void(IniDocument&)>& edit) {
  auto& files = Files();
  std::lock_guard lock(files.mutex);
  const bool existed = Identify(path).has_value();
  bool unreadable = false;
  IniDocument doc = files.Load(path, &unreadable);
  if (unreadable) {
    lastError = path + ": cannot be read, so it is not rewritten: " + std::strerror(errno);
    return false;
  }
  const std::string before = doc.Serialize();
  edit(doc);
  const std::string after = doc.Serialize();
  // Nothing changed (e.g. deleting a key that is not there): no write, so the
  // file's time stays and a missing file is not created.
  if (after == before && (existed || after.empty())) return true;
  files.Forget(path);
  std::string error;
  if (!WriteFileAtomically(path, after, {}, &error)) {
    lastError = error;
    return false;
  }
  return true;
}

void PrivateProfile::Read(const std::string& path,
                          const std::function<void(const IniDocument&)>& reads) {
  auto& files = Files();
  std::lock_guard lock(files.mutex);
  // A copy: the reads may go back to the file functions, which may refresh the cache.
  const IniDocument doc = files.Load(path);
  reads(doc);
}

bool PrivateProfile::WriteString(const std::string& path, std::string_view section,
                                 std::string_view key, std::string_view value) {
  return Update(path, [&](IniDocument& doc) { doc.Set(section, key, value); });
}

bool PrivateProfile::DeleteKey(const std::string& path, std::string_view section,
                               std::string_view key) {
  return Update(path, [&](IniDocument& doc) { doc.DeleteKey(section, key); });
}

bool PrivateProfile::DeleteSection(const std::string& path, std::string_view section) {
  return Update(path, [&](IniDocument& doc) { doc.DeleteSection(section); });
}

std::string PrivateProfile::LastError() { return lastError; }

}  // namespace meldrix
