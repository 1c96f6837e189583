// INI files with the semantics of the Windows private-profile functions:
// section and key names compared without case (ASCII), values trimmed and one
// pair of surrounding double quotes removed on read, the first occurrence of a
// key wins, comments and every other line kept on write, the file's line-ending
// style kept, and every write replacing the file atomically. A missing file
// reads as empty; a write creates the file and the section when needed.
//
// Values handed in and out are Windows-1252, the engine's text encoding. A file
// that starts with a UTF-8 byte-order mark, or whose bytes are valid UTF-8 with
// at least one multi-byte sequence, is a UTF-8 file: its values are converted
// on read (characters without a Windows-1252 form become '?') and written back
// in UTF-8. Any other file is Windows-1252 both ways.
//
// All functions may be called from any thread; file access is serialised.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace meldrix {

// The parsed content of one INI file, lines kept byte for byte.
class IniDocument {
 public:
  // Values longer than this are cut when read (the largest buffer the
  // configuration reads with is 60000 bytes including the terminator).
  static constexpr size_t kMaxValueLength = 59999;

  IniDocument() = default;
  static IniDocument Parse(std::string_view bytes);
  std::string Serialize() const;

  bool IsUtf8() const { return utf8_; }
  bool HasSection(std::string_view section) const;
  std::optional<std::string> Get(std::string_view section, std::string_view key,
                                 size_t maxLength = kMaxValueLength) const;
  // Sets the first occurrence of the key, or appends it to the section, which
  // is appended to the file when missing. The value is written as given (no
  // quoting; that is the caller's rule).
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes every occurrence of the key in every section of that name.
  void DeleteKey(std::string_view section, std::string_view key);
  // Removes every section of that name with all its lines.
  void DeleteSection(std::string_view section);
  std::vector<std::string> SectionNames() const;

 private:
  struct Line {
    std::string text;  // raw bytes in the file's encoding, without line end
    std::string end;   // "\r\n", "\n", "\r" or empty for an unterminated last line
    bool isKey = false;
    std::string keyName;  // Windows-1252, for comparison
    size_t valueStart = 0;  // offset of the value in text (after '=' and blanks)
  };
  struct Section {
    std::string name;  // Windows-1252, as written in the file
    std::vector<Line> lines;  // header first
  };

  static Line PlainLine(std::string text, std::string end);
  static Line MakeLine(std::string text, std::string end, bool utf8);
  std::string ToFile(std::string_view cp1252) const;
  std::string FromFile(std::string_view raw) const;
  std::vector<size_t> SectionsNamed(std::string_view name) const;
  const std::string& NewLineEnd() const;
  void Reindex();

  bool utf8_ = false;
  bool bom_ = false;
  std::string newLineEnd_ = "\n";
  std::vector<Line> preamble_;  // lines before the first section
  std::vector<Section> sections_;
  std::unordered_map<std::string, std::vector<size_t>> index_;  // upper-case name -> sections
};

class PrivateProfile {
 public:
  // Value of the key, or `def` when the file, the section or the key is missing.
  static std::string GetString(const std::string& path, std::string_view section,
                               std::string_view key, std::string_view def = "",
                               size_t maxLength = IniDocument::kMaxValueLength);
  // Integer in the manner of GetPrivateProfileInt: `def` when the key is missing
  // or empty; otherwise the leading number (optional sign, 0x / 0o / 0b
  // prefixes), 0 when there is none; junk after the number is ignored and the
  // result saturates at the limits of a 32-bit integer.
  static int GetInt(const std::string& path, std::string_view section, std::string_view key,
                    int def);
  static bool SectionExists(const std::string& path, std::string_view section);

  // Each write replaces the file atomically (in place where the folder does
  // not allow that, see AtomicFile.h); false when it could not be written.
  static bool WriteString(const std::string& path, std::string_view section,
                          std::string_view key, std::string_view value);
  static bool DeleteKey(const std::string& path, std::string_view section, std::string_view key);
  static bool DeleteSection(const std::string& path, std::string_view section);

  // Several changes as one atomic replacement: `edit` works on the current
  // content under the file lock. Inside `edit`, touch this file only through
  // the document handed in.
  static bool Update(const std::string& path, const std::function<void(IniDocument&)>& edit);
  // Several reads from one consistent state of the file, under the file lock.
  static void Read(const std::string& path, const std::function<void(const IniDocument&)>& reads);

  // Why the last write on this thread failed, for the log: the file's name
  // first, the system's error text last ("/data/meldrix.cfg: Permission
  // denied"). Only meaningful right after a write returned false.
  static std::string LastError();
};

// The integer rule of GetInt applied to a text (exposed for the long values,
// which use the plain decimal rule of ParseDecimalLong instead).
int ParseProfileInt(std::string_view text, int def);
// Decimal string-to-integer conversion: leading blanks, optional sign, digits;
// stops at the first other character; 0 when there are no digits; saturates.
long ParseDecimalLong(std::string_view text);

}  // namespace meldrix
