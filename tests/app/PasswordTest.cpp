// The stored form of the password and rights, the prompt rule of protected
// commands, and "Password" in the configuration file.
#include "app/Password.h"
#include "support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <queue>

#include "platform/PrivateProfile.h"
#include "support/Files.h"
#include "support/TempFolder.h"

namespace meldrix {
namespace {

CPassword Make(const std::string& password, std::uint32_t mask) {
  CPassword p;
  p.SetPassword(password);
  p.SetMask(mask);
  return p;
}

TEST(PasswordTest, EncodeDecodeRoundTrips) {
  const struct {
    std::string password;
    std::uint32_t mask;
    std::size_t storedLength;
  } cases[] = {
      {"a", 0xFFFFFFFFu, 16 + 64},
      {"secret", 0xFFFFFF07u, 16 + 64},
      {"Geheim\xE4\xDF\x80", 0xFFFFFFFBu, 16 + 64},  // bytes above 127 count as negative
      {std::string(31, 'x'), 0x0000000Fu, 16 + 64},  // the separator fills the 32nd byte
      // 32 bytes or more: neither separator nor padding.
      {std::string(32, 'y'), 0xFFFFFFFFu, 16 + 64},
      {std::string(40, '\xFF'), 0x12345678u, 16 + 80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.password);
    const CPassword original = Make(c.password, c.mask);
    const std::string first = original.Encode(1), second = original.Encode(0xDEADBEEFu);
    EXPECT_EQ(first.size(), c.storedLength);
    EXPECT_EQ(first.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    if (c.password.size() < 31) {
      EXPECT_NE(first, second);  // random padding
    }
    for (const std::string& stored : {first, second, original.Encode()}) {
      CPassword decoded;
      ASSERT_TRUE(decoded.Decode(stored)) << stored;
      EXPECT_EQ(decoded.Password(), c.password);
      EXPECT_EQ(decoded.Mask(), c.mask);
    }
  }
}

TEST(PasswordTest, DamagedStoredFormsAreRefused) {
  const std::string good = Make("secret", 0xFFFFFFFFu).Encode(7);
  std::string lower = good;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string flipped = good;
  flipped[20] = flipped[20] == '0' ? '1' : '0';
  std::string mask = good;
  mask[9] = mask[9] == 'A' ? 'B' : 'A';
  const std::string cases[] = {
      "",
      good.substr(0, 16),                 // shorter than 17
      lower,                              // lower-case digits
      good.substr(0, 30) + "G" + good.substr(31),
      good.substr(0, good.size() - 1),    // a byte cut in half
      flipped,                            // a password byte changed
      mask,                               // the mask changed
  };
  for (const std::string& stored : cases) {
    SCOPED_TRACE(stored);
    CPassword p;
    EXPECT_FALSE(p.Decode(stored));
  }
  CPassword p;
  EXPECT_FALSE(p.Decode(flipped));
  EXPECT_EQ(p.Mask(), 0u);  // a bad checksum resets the mask
  EXPECT_FALSE(p.IsProtected(kRightActivate));
}

using Prompt = testing::ScriptedPrompt;

TEST(PasswordTest, ProtectedCommandsAskEveryTime) {
  CMeldrixRights rights;
  rights.SetPassword("pw");
  rights.SetMask(0xFFFFFF07u);  // only "Activating" of the three groups
  const struct {
    const CMeldrixRights* rights;
    int right;
    std::vector<std::string> answers;
    bool allowed;
    int asked, incorrect;
  } cases[] = {
      {nullptr, kRightActivate, {}, true, 0, 0},
      {&rights, kRightSourceSetup, {}, true, 0, 0},
      {&rights, kRightTerminate, {}, true, 0, 0},
      {&rights, kRightActivate, {"pw"}, true, 1, 0},
      {&rights, kRightActivate, {"PW"}, false, 1, 1},
      {&rights, kRightActivate, {}, false, 1, 0},  // cancelled
      {&rights, kRightPassword, {"pw"}, true, 1, 0},
  };
  for (const auto& c : cases) {
    Prompt prompt;
    for (const auto& answer : c.answers) prompt.answers.push(answer);
    EXPECT_EQ(AskForRight(c.rights, c.right, prompt), c.allowed) << c.right;
    EXPECT_EQ(prompt.asked, c.asked) << c.right;
    EXPECT_EQ(prompt.incorrect, c.incorrect) << c.right;
  }
}

TEST(PasswordTest, StoredInSettingsAndRemovedWithoutProtection) {
  testing::TempFolder folder;
  const std::string file = folder.File("meldrix.cfg");
  testing::WriteFile(file, "[Settings]\nAutoActivate=1\n");
  EXPECT_EQ(LoadRights(file), nullptr);
  CMeldrixRights rights;
  rights.SetPassword("pw");
  rights.SetMask(0xFFFFFFF7u);
  ASSERT_TRUE(SaveRights(file, &rights));
  auto loaded = LoadRights(file);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Password(), "pw");
  EXPECT_EQ(loaded->Mask(), 0xFFFFFFF7u);
  ASSERT_TRUE(SaveRights(file, nullptr));
  EXPECT_EQ(PrivateProfile::GetString(file, "Settings", "Password", "none"), "none");
  EXPECT_EQ(PrivateProfile::GetString(file, "Settings", "AutoActivate"), "1");
  // A damaged value leaves the program unprotected.
  PrivateProfile::WriteString(file, "Settings", "Password", "0123456789abcdef00");
  EXPECT_EQ(LoadRights(file), nullptr);
}

}  // namespace
}  // namespace meldrix
