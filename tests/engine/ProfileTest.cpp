#include "engine/Profile.h"

#include <gtest/gtest.h>

#include "platform/PrivateProfileTempFolder.h"

using namespace meldrix;
using meldrix::profiletest::ProfileTempFolder;

namespace {

TEST(CSection, StringWriteRulesSurviveARoundTrip) {
  ProfileTempFolder folder;
  CProfile profile(folder.File("p.cfg"));
  CSection section(profile, "Message", 4);
  const std::string values[] = {" leading", "trailing ", "\tTab", "\"quoted\"", "a\"b", "\"", ""};
  for (size_t i = 0; i < std::size(values); ++i)
    ASSERT_TRUE(section.WriteString("K" + std::to_string(i), values[i]));
  for (size_t i = 0; i < std::size(values); ++i)
    EXPECT_EQ(section.GetString("K" + std::to_string(i)), values[i]) << i;

  // Line breaks become blanks and the value stays on one line.
  ASSERT_TRUE(section.WriteString("Multi", "line1\r\nline2\n"));
  EXPECT_EQ(section.GetString("Multi"), "line1  line2 ");
  EXPECT_NE(ProfileTempFolder::Read(profile.GetPath()).find("Multi=\"line1  line2 \"\n"), std::string::npos);
}

TEST(CSection, DefaultsAreDeletedNotWritten) {
  ProfileTempFolder folder;
  CProfile profile(folder.File("p.cfg"));
  CSection section(profile, "S");
  section.WriteInt("A", 5);
  section.WriteString("C", "x");
  section.WriteInt("A", 1, 1);
  section.WriteString("C", "\n", " ");  // compared after the line break became a blank
  EXPECT_EQ(ProfileTempFolder::Read(profile.GetPath()), "[S]\n");  // the header stays, as on Windows
  section.WriteLong("L", -70000);
  EXPECT_EQ(ProfileTempFolder::Read(profile.GetPath()), "[S]\nL=-70000\n");
}

TEST(CSection, ValueKindsConvertLikeTheOriginal) {
  ProfileTempFolder folder;
  CProfile profile(folder.File("p.cfg"));
  ProfileTempFolder::Write(profile.GetPath(),
                    "[S]\nBaud=96x\nBool256=256\nBool257=257\nEmptyLong=\nChar=#rest\nNoChar=\n");
  const CSection s(profile, "S");
  EXPECT_EQ(s.GetLong("Baud", 9600), 96);
  EXPECT_EQ(s.GetLong("Missing", 9600), 9600);
  EXPECT_EQ(s.GetLong("EmptyLong", 9600), 0);  // present but empty converts to 0
  EXPECT_FALSE(s.GetBool("Bool256", true));      // only the low byte counts
  EXPECT_TRUE(s.GetBool("Bool257", false));
  EXPECT_TRUE(s.GetBool("Missing", true));
  EXPECT_EQ(s.GetChar("Char", '~'), '#');
  EXPECT_EQ(s.GetChar("NoChar", '~'), '~');
  EXPECT_EQ(s.GetChar("Missing", '~'), '~');
}

TEST(CProfile, UpdateIsOneAtomicStepWithReadsOfItsOwnWrites) {
  ProfileTempFolder folder;
  CProfile profile(folder.File("p.cfg"));
  CSection s(profile, "S");
  s.WriteString("Keep", "1");
  const bool ok = profile.Update([&] {
    s.WriteString("A", "new");
    EXPECT_EQ(s.GetString("A"), "new");
    s.DeleteKey("Keep");
    EXPECT_FALSE(profile.Update([&] {}) == false);  // nested: no write of its own
    // The file is not touched until the outermost update ends.
    EXPECT_EQ(ProfileTempFolder::Read(profile.GetPath()), "[S]\nKeep=1\n");
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(ProfileTempFolder::Read(profile.GetPath()), "[S]\nA=new\n");
}

}  // namespace
