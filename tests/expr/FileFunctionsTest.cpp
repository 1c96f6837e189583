#include <gtest/gtest.h>

#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "ExprTestSupport.h"

namespace meldrix {
namespace {

namespace fs = std::filesystem;
using test::Eval;

class FileFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "meldrix-files-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& utf8Name) const { return (dir_ / utf8Name).string(); }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::string Marks(int error, const std::string& name) {
    const std::string one = "[#" + std::to_string(error) + "]";
    return one + one + one + "?" + one + one + one + ":" + name + "?";
  }

  fs::path dir_;
  CDataValueStorage store_{false};
};

// Nothing that is not a regular file is read: a FIFO without a writer or a
// terminal would block the whole program.
TEST_F(FileFunctions, FileTextReadsRegularFilesOnly) {
  const std::string fifo = Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int master = -1, slave = -1;
  char terminal[128];
  ASSERT_EQ(::openpty(&master, &slave, terminal, nullptr, nullptr), 0);
  fs::create_directories(Path("folder"));
  const struct {
    std::string name;
    int error;
  } cases[] = {{fifo, EINVAL}, {terminal, EINVAL}, {"/dev/null", EINVAL}, {Path("folder"), EISDIR}};
  for (const auto& c : cases) {
    store_.Set("f", c.name);
    EXPECT_EQ(Eval("FILETEXT(f, FT_AllLines)", store_), Marks(c.error, c.name));
  }
  ::close(master);
  ::close(slave);
}

TEST_F(FileFunctions, FileTextConvertsUtf8Content) {
  // Read up to the limit of 0x40000 bytes, which ends inside the second "ä".
  const std::string big(0x40000 - 3, 'a');
  const struct {
    std::string content;
    std::string text;
  } cases[] = {
      {"Gr\xC3\xB6\xC3\x9F" "e 5 \xE2\x82\xAC\r\nzwei", "Gr\xF6\xDF" "e 5 \x80"},
      {"\xEF\xBB\xBFplain", "plain"},                        // a byte-order mark alone
      {"Gr\xF6\xDF" "e", "Gr\xF6\xDF" "e"},                  // Windows-1252 stays
      {"\xE2\x86\x92 \xC3\xA4", "? \xE4"},                   // no Windows-1252 form
      {"\xC3\xA4" + big + "\xC3\xA4" + "more", "\xE4" + big},
  };
  for (const auto& c : cases) {
    Write(Path("t.txt"), c.content);
    store_.Set("f", Path("t.txt"));
    const std::string text = Eval("FILETEXT(f)", store_);
    EXPECT_TRUE(text == c.text) << c.content.substr(0, 20) << " gave " << text.substr(0, 20)
                                << " (" << text.size() << " bytes)";
  }
}

// Engine texts are Windows-1252; the names on disk are UTF-8, and "\" parts
// names as "/" does.
TEST_F(FileFunctions, NamesReachTheFileSystemAsUtf8) {
  fs::create_directories(Path("sub"));
  Write(Path("sub/Stra\xC3\x9F" "e.txt"), "Hauptstra\xDF" "e 1\r\n");
  store_.Set("f", (dir_ / "sub").string() + "\\Stra\xDF" "e.txt");
  EXPECT_EQ(Eval("FILETEXT(f)", store_), "Hauptstra\xDF" "e 1");

  store_.Set("i", (dir_ / "sub").string() + "\\\xC4nderungen.ini");
  EXPECT_EQ(Eval("INIWRITE(i, 'Z\xE4hler', 'Feuer', 'gro\xDF')", store_), "1");
  EXPECT_EQ(Read(Path("sub/\xC3\x84nderungen.ini")), "[Z\xE4hler]\nFeuer=gro\xDF\n");
  EXPECT_EQ(Eval("INILOOKUP('Z\xE4hler', i, 'Feuer')", store_), "gro\xDF");

  // A relative name is taken from the working folder.
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  store_.Set("r", "sub\\Stra\xDF" "e.txt");
  EXPECT_EQ(Eval("FILETEXT(r)", store_), "Hauptstra\xDF" "e 1");
  fs::current_path(before);

  const std::string marker = Path("\xC3\x9C" "bung.txt");
  store_.Set("cmd", "echo ok > '" + dir_.string() + "/\xDC" "bung.txt'");
  EXPECT_EQ(Eval("EXECUTE(cmd, 0)", store_), "0");
  for (int i = 0; i < 300 && Read(marker) != "ok\n"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(Read(marker), "ok\n");
}

// Texts from messages reach INIWRITE: none may add sections, keys or
// comments to the file.
TEST_F(FileFunctions, IniWriteRefusesLinesOfItsOwn) {
  const std::string file = Path("target.ini");
  const std::string original = "[Settings]\r\nAutoActivate=1\r\n[Counts]\r\nFire=1\r\n";
  Write(file, original);
  store_.Set("f", file);
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } refused[] = {
      {"Counts", "Fire", "2\r\n[Settings]\r\nAutoActivate=0"},
      {"Counts", "Fire", "2\nAutoActivate=0"},
      {"Counts", "Fire", "2\rAutoActivate=0"},
      {"Counts", "AutoActivate=0", "x"},
      {"Counts", "[Settings]", "x"},
      {"Counts", "  [Settings]", "x"},
      {"Counts", ";x", "x"},
      {"Counts", "Fire\nAutoActivate", "0"},
      {"Settings]\r\n[Other", "Fire", "2"},
      {"Counts]x", "Fire", "2"},
      {"Counts\n", "Fire", "2"},
  };
  for (const auto& r : refused) {
    store_.Set("s", r.section);
    store_.Set("k", r.key);
    store_.Set("v", r.value);
    EXPECT_EQ(Eval("INIWRITE(f, s, k, v)", store_), "0") << r.section << "|" << r.key << "|" << r.value;
  }
  EXPECT_EQ(Read(file), original);
  // An ordinary write with blanks, "=" and brackets inside the value still works.
  store_.Set("v", " a=b [c] ; d");
  EXPECT_EQ(Eval("INIWRITE(f, 'Counts', 'Fire', v)", store_), "1");
  EXPECT_EQ(Eval("INILOOKUP('Settings', f, 'AutoActivate')", store_), "1");
  EXPECT_EQ(Eval("INILOOKUP('Counts', f, 'Fire')", store_), "a=b [c] ; d");
}

}  // namespace
}  // namespace meldrix
