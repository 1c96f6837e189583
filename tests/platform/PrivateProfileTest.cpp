#include "platform/PrivateProfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/AtomicFile.h"
#include "support/Files.h"
#include "support/TempFolder.h"

using namespace meldrix;
using namespace meldrix::testing;

namespace {

class PrivateProfileTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string file = folder.File("test.cfg");
  std::string Get(std::string_view section, std::string_view key, std::string_view def = "<none>") {
    return PrivateProfile::GetString(file, section, key, def);
  }
};

TEST_F(PrivateProfileTest, ReadsWithWindowsSemantics) {
  WriteFile(file, "Preamble=ignored\n; comment=not a key\n[Settings]\n  Name  =  padded value  \t\n"
                  "Quoted=\" keeps blanks \"\nTwice=\"\"inner\"\"\nSingle=\"\nEmpty=\nEq=a=b\n"
                  "name=second occurrence\nno equals sign here\n[ settings ]\nLater=from duplicate section\n"
                  "Name=duplicate section loses\n");
  EXPECT_EQ(Get("SETTINGS", "name"), "padded value");
  EXPECT_EQ(Get("Settings", "Quoted"), " keeps blanks ");
  EXPECT_EQ(Get("Settings", "Twice"), "\"inner\"");  // only one pair is removed
  EXPECT_EQ(Get("Settings", "Single"), "\"");
  EXPECT_EQ(Get("Settings", "Empty"), "");  // present but empty is not the default
  EXPECT_EQ(Get("Settings", "Eq"), "a=b");
  EXPECT_EQ(Get("Settings", "Later"), "from duplicate section");
  EXPECT_EQ(Get("Settings", "; comment"), "<none>");
  EXPECT_EQ(Get("", "Preamble"), "<none>");
  EXPECT_EQ(Get("Missing", "Name"), "<none>");
  EXPECT_EQ(PrivateProfile::GetString(folder.File("absent.cfg"), "Settings", "Name", "dflt"), "dflt");
  EXPECT_TRUE(PrivateProfile::SectionExists(file, "SETTINGS"));
  EXPECT_FALSE(PrivateProfile::SectionExists(file, "Other"));
}

TEST_F(PrivateProfileTest, IntegersFollowGetPrivateProfileInt) {
  WriteFile(file, "[S]\nJunk=96x\nNone=x\nEmpty=\nHex=0x1F\nNeg= -12\nHuge=99999999999\nTiny=-99999999999\n"
                  "Quoted=\"7\"\n");
  const std::pair<const char*, int> rows[] = {{"Junk", 96}, {"None", 0}, {"Empty", 5}, {"Missing", 5}, {"Hex", 31},
                                              {"Neg", -12}, {"Huge", 2147483647}, {"Tiny", -2147483647 - 1},
                                              {"Quoted", 7}};
  for (const auto& [key, value] : rows) EXPECT_EQ(PrivateProfile::GetInt(file, "S", key, 5), value) << key;
  EXPECT_EQ(ParseDecimalLong(" 96x"), 96);
  EXPECT_EQ(ParseDecimalLong("0x10"), 0);  // the long conversion is decimal only
  EXPECT_EQ(ParseDecimalLong("-"), 0);
  EXPECT_EQ(ParseDecimalLong("-99999999999999999999999"), LONG_MIN);
}

TEST_F(PrivateProfileTest, WritesKeepEverythingElseAndTheLineEnds) {
  WriteFile(file, "; Meldrix configuration\r\n[Settings]\r\n; the next key matters\r\nAutoActivate = 0\r\n"
                  "Other=1\r\n\r\n[Message1]\r\nName=First\r\n");
  ASSERT_TRUE(PrivateProfile::WriteString(file, "settings", "autoactivate", "1"));
  ASSERT_TRUE(PrivateProfile::WriteString(file, "Settings", "NewKey", "v"));
  ASSERT_TRUE(PrivateProfile::WriteString(file, "Message2", "Name", "Second"));
  EXPECT_EQ(ReadFile(file), "; Meldrix configuration\r\n[Settings]\r\n; the next key matters\r\nAutoActivate = 1\r\n"
                            "Other=1\r\nNewKey=v\r\n\r\n[Message1]\r\nName=First\r\n\r\n[Message2]\r\nName=Second\r\n");
  ASSERT_TRUE(PrivateProfile::DeleteKey(file, "SETTINGS", "other"));
  ASSERT_TRUE(PrivateProfile::DeleteSection(file, "message1"));
  EXPECT_EQ(ReadFile(file), "; Meldrix configuration\r\n[Settings]\r\n; the next key matters\r\nAutoActivate = 1\r\n"
                            "NewKey=v\r\n\r\n[Message2]\r\nName=Second\r\n");
}

TEST_F(PrivateProfileTest, WriteCreatesFileAndDeletesEveryDuplicate) {
  ASSERT_TRUE(PrivateProfile::DeleteKey(file, "S", "K"));
  EXPECT_FALSE(std::filesystem::exists(file));  // nothing to delete: no file made
  ASSERT_TRUE(PrivateProfile::WriteString(file, "S", "K", "v"));
  EXPECT_EQ(ReadFile(file), "[S]\nK=v\n");
  WriteFile(file, "[A]\nK=1\nK=2\n[B]\nK=3\n[a]\nK=4\nX=5");
  ASSERT_TRUE(PrivateProfile::DeleteKey(file, "A", "k"));
  EXPECT_EQ(Get("A", "K"), "<none>");  // no older duplicate shows up again
  EXPECT_EQ(Get("A", "X"), "5");
  ASSERT_TRUE(PrivateProfile::WriteString(file, "A", "Y", "6"));  // goes to the first [A]
  EXPECT_EQ(ReadFile(file), "[A]\nY=6\n[B]\nK=3\n[a]\nX=5");
  ASSERT_TRUE(PrivateProfile::WriteString(file, "B", "Z", "7"));
  ASSERT_TRUE(PrivateProfile::WriteString(file, "C", "W", "8"));  // after the unterminated line
  EXPECT_EQ(ReadFile(file), "[A]\nY=6\n[B]\nK=3\nZ=7\n[a]\nX=5\n\n[C]\nW=8\n");
  ASSERT_TRUE(PrivateProfile::DeleteSection(file, "A"));
  EXPECT_EQ(ReadFile(file), "[B]\nK=3\nZ=7\n[C]\nW=8\n");
}

TEST_F(PrivateProfileTest, Utf8FilesAreConvertedBothWays) {
  // A UTF-8 file with a character Windows-1252 lacks in a comment.
  WriteFile(file, "; \xE2\x98\x83 snowman\n[Message1]\nLeftTrigger=T\xC3\xBCr\nName=\xE2\x98\x83\n");
  EXPECT_EQ(Get("Message1", "LeftTrigger"), "T\xFC" "r");
  EXPECT_EQ(Get("Message1", "Name"), "?");
  ASSERT_TRUE(PrivateProfile::WriteString(file, "Message1", "Text", "Stra\xDF" "e \x80"));
  EXPECT_EQ(ReadFile(file),
            "; \xE2\x98\x83 snowman\n[Message1]\nLeftTrigger=T\xC3\xBCr\nName=\xE2\x98\x83\n"
            "Text=Stra\xC3\x9F" "e \xE2\x82\xAC\n");
  // A byte-order mark makes a file UTF-8 even when it is plain ASCII so far.
  WriteFile(file, "\xEF\xBB\xBF[S]\nK=a\n");
  ASSERT_TRUE(PrivateProfile::WriteString(file, "S", "K", "\xE4"));
  EXPECT_EQ(ReadFile(file), "\xEF\xBB\xBF[S]\nK=\xC3\xA4\n");
  EXPECT_EQ(Get("S", "K"), "\xE4");
  // Anything else stays Windows-1252.
  WriteFile(file, "[S]\nK=T\xFCr\n");
  EXPECT_EQ(Get("S", "K"), "T\xFCr");
  ASSERT_TRUE(PrivateProfile::WriteString(file, "S", "L", "\xE4"));
  EXPECT_EQ(ReadFile(file), "[S]\nK=T\xFCr\nL=\xE4\n");
}

TEST_F(PrivateProfileTest, LongValuesAndBinaryBytes) {
  const std::string v3000(3000, 'a');
  const std::string v70000(70000, 'b');
  std::string binary = "[S]\nBin=";
  for (int i = 1; i < 256; ++i)
    if (i != '\n' && i != '\r') binary += static_cast<char>(i);
  binary += "\n[Long]\n" + std::string(100000, 'x') + "\n";
  WriteFile(file, binary + "[V]\nA=" + v3000 + "\nB=" + v70000 + "\n");
  EXPECT_EQ(Get("V", "A"), v3000);
  EXPECT_EQ(Get("V", "B"), std::string(59999, 'b'));
  EXPECT_EQ(Get("S", "Bin").size(), 253u);
  ASSERT_TRUE(PrivateProfile::WriteString(file, "V", "C", "c"));
  EXPECT_EQ(Get("V", "B").size(), 59999u);
  EXPECT_EQ(ReadFile(file).size(), binary.size() + 3000 + 70000 + 10 + 4);
}

TEST_F(PrivateProfileTest, ReadOnlyFileOrMissingFolderFailsTheWrite) {
  WriteFile(file, "[S]\nK=old\n");
  ::chmod(file.c_str(), 0444);
  EXPECT_FALSE(PrivateProfile::WriteString(file, "S", "K", "new"));
  EXPECT_EQ(ReadFile(file), "[S]\nK=old\n");
  // A file that exists but cannot be read is never rewritten from nothing.
  const std::string folderAsFile = folder.File("dir.cfg");
  std::filesystem::create_directory(folderAsFile);
  EXPECT_FALSE(PrivateProfile::WriteString(folderAsFile, "S", "K", "new"));
  EXPECT_TRUE(std::filesystem::is_directory(folderAsFile));
  const std::string gone = folder.File("vanished/test.cfg");
  EXPECT_FALSE(PrivateProfile::WriteString(gone, "S", "K", "new"));
  EXPECT_FALSE(std::filesystem::exists(gone));
}

TEST_F(PrivateProfileTest, OutsideChangesAreSeenAtOnce) {
  WriteFile(file, "[S]\nK=1\n");
  EXPECT_EQ(Get("S", "K"), "1");
  WriteFile(file, "[S]\nK=2\n");  // same size, same inode, same clock tick
  EXPECT_EQ(Get("S", "K"), "2");
  SetFileTime(file, 1000000000);
  EXPECT_EQ(Get("S", "K"), "2");
}

TEST_F(PrivateProfileTest, UpdateMakesOneWrite) {
  WriteFile(file, "[S]\nA=1\n");
  int writes = 0;
  SetAtomicWriteBeforeRenameHook([&](const std::string&) { return ++writes, true; });
  EXPECT_TRUE(PrivateProfile::Update(file, [](IniDocument& doc) {
    doc.Set("S", "B", "2");
    doc.DeleteKey("S", "A");
    doc.Set("T", "C", doc.Get("S", "B").value_or("?"));
  }));
  // An update that changes nothing does not touch the file.
  EXPECT_TRUE(PrivateProfile::Update(file, [](IniDocument& doc) { doc.DeleteKey("S", "none"); }));
  SetAtomicWriteBeforeRenameHook(nullptr);
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(ReadFile(file), "[S]\nB=2\n\n[T]\nC=2\n");
}

TEST_F(PrivateProfileTest, ConcurrentWritersLoseNothing) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([this, t] {
      for (int k = 0; k < 8; ++k) {
        const std::string key = "K" + std::to_string(t) + "_" + std::to_string(k);
        PrivateProfile::WriteString(file, "S" + std::to_string(t % 2), key, key);
        PrivateProfile::GetString(file, "S0", "K0_0", "");
      }
    });
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t)
    for (int k = 0; k < 8; ++k) {
      const std::string key = "K" + std::to_string(t) + "_" + std::to_string(k);
      EXPECT_EQ(Get("S" + std::to_string(t % 2), key), key);
    }
}

}  // namespace
