#include "util/PathHelpers.h"

#include <gtest/gtest.h>

using namespace meldrix;

TEST(PathHelpers, WindowsPaths) {
  EXPECT_EQ(FileNameOf("C:\\dir\\file.ini"), "file.ini");
  EXPECT_EQ(FileTitleOf("C:\\dir\\file.ini"), "file");
  EXPECT_EQ(DirectoryOf("C:\\dir\\file.ini"), "C:\\dir");
  EXPECT_EQ(DirectoryOf("C:\\file.ini"), "C:\\");
  EXPECT_EQ(DirectoryOf("C:/file.ini"), "C:/");
}

TEST(PathHelpers, LinuxAndMixedPaths) {
  EXPECT_EQ(FileNameOf("/opt/meldrix/Data/meldrix.cfg"), "meldrix.cfg");
  EXPECT_EQ(FileNameOf("data\\in/x.txt"), "x.txt");
  EXPECT_EQ(FileNameOf("data/in\\x.txt"), "x.txt");
  EXPECT_EQ(FileNameOf("plain"), "plain");
  EXPECT_EQ(FileNameOf("dir/"), "");
  EXPECT_EQ(DirectoryOf("/opt/meldrix/x"), "/opt/meldrix");
  EXPECT_EQ(DirectoryOf("plain"), "");
  // The root stays the root, never becomes a relative path.
  EXPECT_EQ(DirectoryOf("/meldrix.cfg"), "/");
  EXPECT_EQ(CombinePath(DirectoryOf("/meldrix.cfg"), "x"), "/x");
  EXPECT_EQ(ToNativePath("data\\in\\*.txt"), "data/in/*.txt");
}

TEST(PathHelpers, TitlesAndExtensions) {
  EXPECT_EQ(FileTitleOf("archive.tar.gz"), "archive.tar");
  EXPECT_EQ(FileTitleOf("/a.b/noext"), "noext");
  EXPECT_EQ(FileTitleOf(".hidden"), "");
  EXPECT_EQ(ChangeExtension("/opt/meldrix/bin/meldrix", "cfg"), "/opt/meldrix/bin/meldrix.cfg");
  EXPECT_EQ(ChangeExtension("/opt/meldrix-1.0/bin/meldrix", "cfg"),
            "/opt/meldrix-1.0/bin/meldrix.cfg");
  EXPECT_EQ(ChangeExtension("C:\\prog\\Meldrix.exe", "cfg"), "C:\\prog\\Meldrix.cfg");
  EXPECT_EQ(ChangeExtension("a.b.c", "d"), "a.b.d");
}

TEST(PathHelpers, Combine) {
  EXPECT_EQ(CombinePath("/data", "a.txt"), "/data/a.txt");
  EXPECT_EQ(CombinePath("/data/", "a.txt"), "/data/a.txt");
  EXPECT_EQ(CombinePath("C:\\data\\", "a.txt"), "C:\\data\\a.txt");
  EXPECT_EQ(CombinePath("", "a.txt"), "a.txt");
  EXPECT_EQ(CombinePathExt("/data", "meldrix2", "cfg"), "/data/meldrix2.cfg");
}
