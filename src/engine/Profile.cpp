#include "engine/Profile.h"

#include "platform/DataFolder.h"
#include "platform/PrivateProfile.h"

namespace meldrix {
namespace {

std::string ProgramConfigPath() {
  std::string path = ExecutablePath();
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.resize(dot);
  return path + ".cfg";
}

std::string WithoutLineBreaks(std::string_view value) {
  std::string text(value);
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

// ---------------------------------------------------------------------------
// CProfile

CProfile::CProfile() : path_(ProgramConfigPath()) {}

CProfile::CProfile(std::string path) : path_(std::move(path)) {}

const IniDocument* CProfile::ReadSource() const {
  return pending_ ? pending_ : snapshot_;
}

std::string CProfile::GetString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  if (const IniDocument* doc = ReadSource()) {
    auto value = doc->Get(section, key);
    return value ? *value : std::string(def.substr(0, IniDocument::kMaxValueLength));
  }
  return PrivateProfile::GetString(path_, section, key, def);
}

bool CProfile::SectionExists(std::string_view section) const {
  if (const IniDocument* doc = ReadSource()) return doc->HasSection(section);
  return PrivateProfile::SectionExists(path_, section);
}

bool CProfile::WriteString(std::string_view section, std::string_view key,
                           std::string_view value) {
  if (pending_) {
    pending_->Set(section, key, value);
    return true;
  }
  return PrivateProfile::WriteString(path_, section, key, value);
}

bool CProfile::DeleteKey(std::string_view section, std::string_view key) {
  if (pending_) {
    pending_->DeleteKey(section, key);
    return true;
  }
  return PrivateProfile::DeleteKey(path_, section, key);
}

bool CProfile::DeleteSection(std::string_view section) {
  if (pending_) {
    pending_->DeleteSection(section);
    return true;
  }
  return PrivateProfile::DeleteSection(path_, section);
}

bool CProfile::Update(const std::function<void()>& edits) {
  if (pending_) {
    edits();
    return true;
  }
  const bool ok = PrivateProfile::Update(path_, [&](IniDocument& doc) {
    pending_ = &doc;
    edits();
    pending_ = nullptr;
  });
  pending_ = nullptr;
  return ok;
}

void CProfile::Read(const std::function<void()>& reads) {
  if (ReadSource()) {
    reads();
    return;
  }
  PrivateProfile::Read(path_, [&](const IniDocument& doc) {
    snapshot_ = &doc;
    reads();
    snapshot_ = nullptr;
  });
  snapshot_ = nullptr;
}

// ---------------------------------------------------------------------------
// CSection

CSection::CSection(CProfile& profile, std::string_view name, int number)
    : profile_(profile), name_(name) {
  if (number >= 1) name_ += std::to_string(number);
}

bool CSection::Exists() const { return profile_.SectionExists(name_); }

int CSection::GetInt(std::string_view key, int def) const {
  return ParseProfileInt(profile_.GetString(name_, key, ""), def);
}

long CSection::GetLong(std::string_view key, long def) const {
  return ParseDecimalLong(profile_.GetString(name_, key, std::to_string(def)));
}

bool CSection::GetBool(std::string_view key, bool def) const {
  return static_cast<unsigned char>(GetInt(key, def ? 1 : 0)) != 0;
}

std::string CSection::GetString(std::string_view key, std::string_view def) const {
  // The original two-step read (2048 bytes, again with 60000 when the value
  // nearly filled the first buffer) amounts to reading up to 59999 bytes.
  return profile_.GetString(name_, key, def);
}

char CSection::GetChar(std::string_view key, char def) const {
  const std::string value = profile_.GetString(name_, key, std::string(1, def));
  return value.empty() ? def : value.front();
}

std::string CSection::StoredForm(std::string_view value) {
  std::string text = WithoutLineBreaks(value);
  const bool blankAtEnd = !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()));
  // Reading removes one pair of surrounding quotes, so a value that is itself
  // quoted needs a second pair to survive.
  const bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
  if (blankAtEnd || quoted) text = '"' + text + '"';
  return text;
}

bool CSection::WriteInt(std::string_view key, int value) {
  return profile_.WriteString(name_, key, std::to_string(value));
}

bool CSection::WriteInt(std::string_view key, int value, int def) {
  if (value == def) return DeleteKey(key);
  return WriteInt(key, value);
}

bool CSection::WriteLong(std::string_view key, long value) {
  return profile_.WriteString(name_, key, std::to_string(value));
}

bool CSection::WriteBool(std::string_view key, bool value) {
  return profile_.WriteString(name_, key, value ? "1" : "0");
}

bool CSection::WriteString(std::string_view key, std::string_view value) {
  return profile_.WriteString(name_, key, StoredForm(value));
}

bool CSection::WriteString(std::string_view key, std::string_view value, std::string_view def) {
  if (WithoutLineBreaks(value) == def) return DeleteKey(key);
  return WriteString(key, value);
}

bool CSection::DeleteKey(std::string_view key) { return profile_.DeleteKey(name_, key); }

bool CSection::Delete() { return profile_.DeleteSection(name_); }

}  // namespace meldrix
