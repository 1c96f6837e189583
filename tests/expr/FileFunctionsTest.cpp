#include <gtest/gtest.h>

#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <tuple>

#include "ExprTestSupport.h"
#include "support/Files.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace meldrix {
namespace {

namespace fs = std::filesystem;
using test::Eval;
using testing::ReadFile;
using testing::WriteFile;

// What FILETEXT gives for a file it cannot read.
std::string Marks(int error, const std::string& name) {
  const std::string one = "[#" + std::to_string(error) + "]";
  return one + one + one + "?" + one + one + one + ":" + name + "?";
}

class FileFunctions : public ::testing::Test {
 protected:
  std::string Path(const std::string& utf8Name) const { return dir_.File(utf8Name); }
  testing::TempFolder dir_;
  CDataValueStorage store_{false};
};

TEST_F(FileFunctions, FileTextModesAndErrorMarks) {
  WriteFile(Path("t.txt"), "one\r\ntwo\r\nthree");
  WriteFile(Path("lf.txt"), "first\nsecond\n");
  store_.Set("f", Path("t.txt"));
  store_.Set("g", Path("lf.txt"));
  const std::pair<const char*, const char*> rows[] = {
      {"FILETEXT(f)", "one"}, {"FILETEXT(f, FT_NoCrLf)", "one two three"},
      {"FILETEXT(f, FT_AllLines)", "one\r\ntwo\r\nthree"}, {"FILETEXT(f, 7)", "one"}, {"FILETEXT(g)", "first"},
      {"FILETEXT(g, 1)", "first second "}};
  for (const auto& [expression, result] : rows) EXPECT_EQ(Eval(expression, store_), result) << expression;
  store_.Set("m", Path("missing.txt"));
  EXPECT_EQ(Eval("FILETEXT(m)", store_), Marks(ENOENT, Path("missing.txt")));
  // Skipped: nothing is read.
  EXPECT_EQ(Eval("IF 0 THEN FILETEXT(m) ELSE 'no' END_IF", store_), "no");
}

// Nothing that is not a regular file is read: a FIFO without a writer or a
// terminal would block the whole program.
TEST_F(FileFunctions, FileTextReadsRegularFilesOnly) {
  const std::string fifo = Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int master = -1, slave = -1;
  char terminal[128];
  ASSERT_EQ(::openpty(&master, &slave, terminal, nullptr, nullptr), 0);
  fs::create_directories(Path("folder"));
  const std::pair<std::string, int> cases[] = {
      {fifo, EINVAL}, {terminal, EINVAL}, {"/dev/null", EINVAL}, {Path("folder"), EISDIR}};
  for (const auto& [name, error] : cases) {
    store_.Set("f", name);
    EXPECT_EQ(Eval("FILETEXT(f, FT_AllLines)", store_), Marks(error, name));
  }
  ::close(master);
  ::close(slave);
}

TEST_F(FileFunctions, FileTextConvertsUtf8Content) {
  // Read up to the limit of 0x40000 bytes, which ends inside the second "ä".
  const std::string big(0x40000 - 3, 'a');
  const std::pair<std::string, std::string> cases[] = {  // content, text
      {"Gr\xC3\xB6\xC3\x9F" "e 5 \xE2\x82\xAC\r\nzwei", "Gr\xF6\xDF" "e 5 \x80"},
      {"\xEF\xBB\xBFplain", "plain"},                        // a byte-order mark alone
      {"Gr\xF6\xDF" "e", "Gr\xF6\xDF" "e"},                  // Windows-1252 stays
      {"\xE2\x86\x92 \xC3\xA4", "? \xE4"},                   // no Windows-1252 form
      {"\xC3\xA4" + big + "\xC3\xA4" + "more", "\xE4" + big},
  };
  for (const auto& [content, expected] : cases) {
    WriteFile(Path("t.txt"), content);
    store_.Set("f", Path("t.txt"));
    const std::string text = Eval("FILETEXT(f)", store_);
    EXPECT_TRUE(text == expected) << content.substr(0, 20) << " gave " << text.substr(0, 20) << " (" << text.size()
                                  << " bytes)";
  }
}

// Engine texts are Windows-1252; the names on disk are UTF-8, and "\" parts
// names as "/" does.
TEST_F(FileFunctions, NamesReachTheFileSystemAsUtf8) {
  fs::create_directories(Path("sub"));
  WriteFile(Path("sub/Stra\xC3\x9F" "e.txt"), "Hauptstra\xDF" "e 1\r\n");
  store_.Set("f", Path("sub") + "\\Stra\xDF" "e.txt");
  EXPECT_EQ(Eval("FILETEXT(f)", store_), "Hauptstra\xDF" "e 1");

  store_.Set("i", Path("sub") + "\\\xC4nderungen.ini");
  EXPECT_EQ(Eval("INIWRITE(i, 'Z\xE4hler', 'Feuer', 'gro\xDF')", store_), "1");
  EXPECT_EQ(ReadFile(Path("sub/\xC3\x84nderungen.ini")), "[Z\xE4hler]\nFeuer=gro\xDF\n");
  EXPECT_EQ(Eval("INILOOKUP('Z\xE4hler', i, 'Feuer')", store_), "gro\xDF");

  // A relative name is taken from the working folder.
  const fs::path before = fs::current_path();
  fs::current_path(dir_.Path());
  store_.Set("r", "sub\\Stra\xDF" "e.txt");
  EXPECT_EQ(Eval("FILETEXT(r)", store_), "Hauptstra\xDF" "e 1");
  fs::current_path(before);

  const std::string marker = Path("\xC3\x9C" "bung.txt");
  store_.Set("cmd", "echo ok > '" + dir_.Path() + "/\xDC" "bung.txt'");
  // A skipped command would have been started first, so once the second one
  // has run, the first would have too.
  store_.Set("skipped", "touch '" + Path("skipped") + "'");
  EXPECT_EQ(Eval("IF 0 THEN EXECUTE(skipped) END_IF; EXECUTE(cmd, 0)", store_), "0");
  EXPECT_TRUE(testing::WaitUntil([&] { return ReadFile(marker) == "ok\n"; }));
  EXPECT_FALSE(fs::exists(Path("skipped")));
}

// Texts from messages reach INIWRITE: none may add sections, keys or
// comments to the file.
TEST_F(FileFunctions, IniWriteRefusesLinesOfItsOwn) {
  const std::string file = Path("target.ini");
  const std::string original = "[Settings]\r\nAutoActivate=1\r\n[Counts]\r\nFire=1\r\n";
  WriteFile(file, original);
  store_.Set("f", file);
  const std::tuple<const char*, const char*, const char*> refused[] = {  // section, key, value
      {"Counts", "Fire", "2\r\n[Settings]\r\nAutoActivate=0"}, {"Counts", "Fire", "2\nAutoActivate=0"},
      {"Counts", "Fire", "2\rAutoActivate=0"}, {"Counts", "AutoActivate=0", "x"}, {"Counts", "[Settings]", "x"},
      {"Counts", "  [Settings]", "x"}, {"Counts", ";x", "x"}, {"Counts", "Fire\nAutoActivate", "0"},
      {"Settings]\r\n[Other", "Fire", "2"}, {"Counts]x", "Fire", "2"}, {"Counts\n", "Fire", "2"},
  };
  for (const auto& [section, key, value] : refused) {
    store_.Set("s", section);
    store_.Set("k", key);
    store_.Set("v", value);
    EXPECT_EQ(Eval("INIWRITE(f, s, k, v)", store_), "0") << section << "|" << key << "|" << value;
  }
  EXPECT_EQ(ReadFile(file), original);
  // An ordinary write with blanks, "=" and brackets inside the value still works.
  store_.Set("v", " a=b [c] ; d");
  EXPECT_EQ(Eval("INIWRITE(f, 'Counts', 'Fire', v)", store_), "1");
  EXPECT_EQ(Eval("INILOOKUP('Settings', f, 'AutoActivate')", store_), "1");
  EXPECT_EQ(Eval("INILOOKUP('Counts', f, 'Fire')", store_), "a=b [c] ; d");
}

TEST_F(FileFunctions, IniLookupAndIniWrite) {
  const std::string file = Path("values.ini");
  WriteFile(file, "; comment\r\n[Alarm]\r\nLevel = \"3\"\r\n");
  store_.Set("f", file);
  EXPECT_EQ(Eval("INILOOKUP('alarm', f, 'LEVEL')", store_), "3");
  EXPECT_EQ(Eval("INILOOKUP('Alarm', f, 'missing')", store_), "");
  EXPECT_EQ(Eval("INIWRITE(f, 'Counts', 'Fire', 1 + 1)", store_), "1");
  // Skipped: nothing is written.
  EXPECT_EQ(Eval("IF 0 THEN x := INIWRITE(f, 'Counts', 'Fire', 9) END_IF; INILOOKUP('Counts', f, 'Fire') + 1",
                 store_),
            "3");
  EXPECT_EQ(ReadFile(file).substr(0, 11), "; comment\r\n");
  EXPECT_EQ(Eval("INIWRITE(CONCAT(f, '/no/x.ini'), 'a', 'b', 'c')", store_), "0");  // no such folder
}

}  // namespace
}  // namespace meldrix
