// Password protection of groups of commands at the operator's console. The
// password and the set of protected commands are kept together, scrambled, in
// "Password" of section "Settings".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace meldrix {

// Rights bits: bit n set means command group n asks for the password.
enum MeldrixRight : int {
  kRightPassword = 0,     // changing the password
  kRightActivate = 2,     // activating and deactivating processing
  kRightTerminate = 3,    // closing the main window
  kRightGeneralSetup = 4,
  kRightSourceSetup = 5,
  kRightOutputSetup = 6,
  kRightMessageSetup = 7,
};

inline constexpr std::uint32_t kSetupRightsMask = 0xF0u;  // bits 4 to 7

class CPassword {
 public:
  virtual ~CPassword() = default;

  const std::string& Password() const { return password_; }
  std::uint32_t Mask() const { return mask_; }
  void SetPassword(std::string password) { password_ = std::move(password); }
  void SetMask(std::uint32_t mask) { mask_ = mask; }

  bool IsProtected(int right) const { return right >= 0 && right < 32 && (mask_ >> right) & 1u; }
  // Exact, case-sensitive comparison.
  bool Check(const std::string& text) const { return text == password_; }

  // The stored form. Short passwords are padded with random letters seeded
  // from the monotonic clock, so two encodings of one password differ.
  std::string Encode() const;
  // The same with a given seed for the padding (tests).
  std::string Encode(std::uint32_t seed) const;
  // Sets password and mask from the stored form; false (mask 0) when it is
  // damaged.
  bool Decode(const std::string& stored);

 private:
  std::string password_;
  std::uint32_t mask_ = 0xFFFFFFFFu;
};

class CMeldrixRights : public CPassword {};

// What a protected command needs from the user: the password typed into a
// prompt (nothing when cancelled), and the report of a wrong one.
class IPasswordPrompt {
 public:
  virtual ~IPasswordPrompt() = default;
  virtual std::optional<std::string> AskPassword() = 0;
  virtual void ShowIncorrect() = 0;
};

// Allowed without protection or when bit `right` is clear; otherwise asks
// once. Nothing is remembered: the next protected command asks again.
bool AskForRight(const CMeldrixRights* rights, int right, IPasswordPrompt& prompt);

// "Password" of section "Settings": no object when the key is empty or damaged.
std::unique_ptr<CMeldrixRights> LoadRights(const std::string& configFile);
// Writes the stored form, or deletes the key when `rights` is null.
bool SaveRights(const std::string& configFile, const CMeldrixRights* rights);

}  // namespace meldrix
