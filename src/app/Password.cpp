#include "app/Password.h"

#include <chrono>
#include <cstdio>

#include "platform/PrivateProfile.h"

namespace meldrix {

namespace {

// The scrambling constants; changing them makes stored passwords unreadable
// (which leaves the program unprotected, never locked).
constexpr std::uint32_t kMultiplier = 0x41C64E6Du;
constexpr std::uint32_t kXorMask = 0x9E3779B9u;
constexpr std::uint8_t kByteStart = 0xA5u;
constexpr std::size_t kPaddedLength = 32;
constexpr char kSeparator = 7;

std::uint8_t ByteKey(std::size_t index) {
  return static_cast<std::uint8_t>(kByteStart - 26u * static_cast<std::uint32_t>(index));
}

std::uint32_t SignedByteSum(const std::string& bytes) {
  std::uint32_t sum = 0;
  for (char c : bytes) sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
  return sum;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case is not the stored form
}

std::uint32_t Hex32(const std::string& text, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = at; i < at + 8; ++i) value = value << 4 | static_cast<std::uint32_t>(HexDigit(text[i]));
  return value;
}

}  // namespace

std::string CPassword::Encode() const {
  auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return Encode(static_cast<std::uint32_t>(ticks.count()));
}

std::string CPassword::Encode(std::uint32_t seed) const {
  std::string work = password_;
  if (work.size() < kPaddedLength) {
    work += kSeparator;
    std::uint32_t value = seed;
    bool first = true;
    while (work.size() < kPaddedLength) {
      if (!first) value = (value * kMultiplier) ^ kXorMask;
      first = false;
      char base = (value & 0x8000u) ? 'A' : 'a';
      work += static_cast<char>(base + value % 26u);
    }
  }
  const std::uint32_t sum = mask_ + SignedByteSum(work);
  char head[17];
  std::snprintf(head, sizeof head, "%08X%08X", static_cast<unsigned>(sum ^ kMultiplier),
                static_cast<unsigned>(mask_ ^ kXorMask));
  std::string stored = head;
  for (std::size_t i = 0; i < work.size(); ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X",
                  static_cast<unsigned>(static_cast<std::uint8_t>(work[i]) ^ ByteKey(i)));
    stored += pair;
  }
  return stored;
}

bool CPassword::Decode(const std::string& stored) {
  if (stored.size() < 17) return false;
  for (char c : stored)
    if (HexDigit(c) < 0) return false;
  // Every byte is two digits; a lone trailing digit means the value is cut.
  if ((stored.size() - 16) % 2 != 0) {
    mask_ = 0;
    return false;
  }
  const std::uint32_t h1 = Hex32(stored, 0);
  const std::uint32_t mask = Hex32(stored, 8) ^ kXorMask;
  std::string work;
  for (std::size_t at = 16, i = 0; at + 1 < stored.size(); at += 2, ++i) {
    int pair = HexDigit(stored[at]) << 4 | HexDigit(stored[at + 1]);
    work += static_cast<char>(static_cast<std::uint8_t>(pair) ^ ByteKey(i));
  }
  if (mask + SignedByteSum(work) != (h1 ^ kMultiplier)) {
    mask_ = 0;
    return false;
  }
  mask_ = mask;
  password_ = work.substr(0, work.find(kSeparator));
  return true;
}

bool AskForRight(const CMeldrixRights* rights, int right, IPasswordPrompt& prompt) {
  if (rights == nullptr || !rights->IsProtected(right)) return true;
  std::optional<std::string> typed = prompt.AskPassword();
  if (!typed) return false;
  if (!rights->Check(*typed)) {
    prompt.ShowIncorrect();
    return false;
  }
  return true;
}

std::unique_ptr<CMeldrixRights> LoadRights(const std::string& configFile) {
  std::string stored = PrivateProfile::GetString(configFile, "Settings", "Password", "");
  if (stored.empty()) return nullptr;
  auto rights = std::make_unique<CMeldrixRights>();
  if (!rights->Decode(stored)) return nullptr;
  return rights;
}

bool SaveRights(const std::string& configFile, const CMeldrixRights* rights) {
  if (rights == nullptr) return PrivateProfile::DeleteKey(configFile, "Settings", "Password");
  return PrivateProfile::WriteString(configFile, "Settings", "Password", rights->Encode());
}

}  // namespace meldrix
