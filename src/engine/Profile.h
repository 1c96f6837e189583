// CProfile and CSection: the only code of the engine that touches the
// configuration file. CSection carries the value encodings and write rules.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace meldrix {

class IniDocument;

// One CProfile belongs to one thread (the main thread for the document);
// other threads read settings through PrivateProfile, which serialises access.
class CProfile {
 public:
  // The running program's path with its extension replaced by "cfg".
  CProfile();
  explicit CProfile(std::string path);
  CProfile(const CProfile&) = delete;
  CProfile& operator=(const CProfile&) = delete;

  const std::string& GetPath() const { return path_; }

  // Raw access for CSection: values as stored (Windows-1252), no write rules.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view def) const;
  bool SectionExists(std::string_view section) const;
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool DeleteKey(std::string_view section, std::string_view key);
  bool DeleteSection(std::string_view section);

  // Runs `edits` with every read and write of this profile going to one copy
  // of the file, which then replaces the file atomically in one step: a save
  // of many keys is either wholly in the file or not at all. Returns false when
  // the file could not be written (nothing of the edits is then stored).
  // Calls nest; only the outermost writes.
  bool Update(const std::function<void()>& edits);
  // Runs `reads` with every read of this profile taken from one state of the
  // file, so a file changed from outside meanwhile is never read half old,
  // half new.
  void Read(const std::function<void()>& reads);

 private:
  const IniDocument* ReadSource() const;

  std::string path_;
  IniDocument* pending_ = nullptr;
  const IniDocument* snapshot_ = nullptr;
};

class CSection {
 public:
  // A number of 1 or more is appended to the name ("Message" 3 -> "Message3").
  CSection(CProfile& profile, std::string_view name, int number = 0);

  const std::string& GetName() const { return name_; }
  CProfile& GetProfile() const { return profile_; }
  bool Exists() const;

  // Integer in the manner of GetPrivateProfileInt (junk after the number is ignored).
  int GetInt(std::string_view key, int def) const;
  // Read as a string (the default rendered in decimal) and converted decimally.
  long GetLong(std::string_view key, long def) const;
  // Read as integer; only the low byte counts.
  bool GetBool(std::string_view key, bool def) const;
  // Values are read whole up to 59999 bytes.
  std::string GetString(std::string_view key, std::string_view def = "") const;
  // The first character of the value, or `def` when the value is empty.
  char GetChar(std::string_view key, char def) const;

  // Write rules: CR and LF become blanks; a value with a blank (or tab) at
  // either end, or one enclosed in double quotes itself, is written inside
  // double quotes so that reading gives it back unchanged; a write with a
  // default deletes the key when the rendered value equals the default.
  bool WriteInt(std::string_view key, int value);
  bool WriteInt(std::string_view key, int value, int def);
  bool WriteLong(std::string_view key, long value);
  bool WriteBool(std::string_view key, bool value);
  bool WriteString(std::string_view key, std::string_view value);
  bool WriteString(std::string_view key, std::string_view value, std::string_view def);
  bool DeleteKey(std::string_view key);
  // Removes the whole section.
  bool Delete();

  // The text a string value is stored as (exposed for tests of the rules).
  static std::string StoredForm(std::string_view value);

 private:
  CProfile& profile_;
  std::string name_;
};

}  // namespace meldrix
