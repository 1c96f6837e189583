#include "util/PathHelpers.h"

#include <gtest/gtest.h>

using namespace meldrix;

TEST(PathHelpers, WindowsLinuxAndMixedPaths) {
  const std::pair<std::string, std::string> rows[] = {  // result, expected
      {FileNameOf("C:\\dir\\file.ini"), "file.ini"}, {FileTitleOf("C:\\dir\\file.ini"), "file"},
      {DirectoryOf("C:\\dir\\file.ini"), "C:\\dir"}, {DirectoryOf("C:\\file.ini"), "C:\\"},
      {DirectoryOf("C:/file.ini"), "C:/"}, {FileNameOf("/opt/meldrix/Data/meldrix.cfg"), "meldrix.cfg"},
      {FileNameOf("data\\in/x.txt"), "x.txt"}, {FileNameOf("data/in\\x.txt"), "x.txt"},
      {FileNameOf("plain"), "plain"},
      {FileNameOf("dir/"), ""}, {DirectoryOf("/opt/meldrix/x"), "/opt/meldrix"}, {DirectoryOf("plain"), ""},
      // The root stays the root, never becomes a relative path.
      {DirectoryOf("/meldrix.cfg"), "/"}, {CombinePath(DirectoryOf("/meldrix.cfg"), "x"), "/x"},
      {ToNativePath("data\\in\\*.txt"), "data/in/*.txt"},
      {FileTitleOf("archive.tar.gz"), "archive.tar"}, {FileTitleOf("/a.b/noext"), "noext"},
      {FileTitleOf(".hidden"), ""},
      {ChangeExtension("/opt/meldrix/bin/meldrix", "cfg"), "/opt/meldrix/bin/meldrix.cfg"},
      {ChangeExtension("/opt/meldrix-1.0/bin/meldrix", "cfg"), "/opt/meldrix-1.0/bin/meldrix.cfg"},
      {ChangeExtension("C:\\prog\\Meldrix.exe", "cfg"), "C:\\prog\\Meldrix.cfg"}, {ChangeExtension("a.b.c", "d"), "a.b.d"},
      {CombinePath("/data", "a.txt"), "/data/a.txt"}, {CombinePath("/data/", "a.txt"), "/data/a.txt"},
      {CombinePath("C:\\data\\", "a.txt"), "C:\\data\\a.txt"}, {CombinePath("", "a.txt"), "a.txt"},
      {CombinePathExt("/data", "meldrix2", "cfg"), "/data/meldrix2.cfg"},
  };
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}
