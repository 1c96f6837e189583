#include <gtest/gtest.h>

#include "engine/MeldrixDoc.h"
#include "support/TempFolder.h"
#include "util/LogLines.h"
#include "util/StringTable.h"

namespace meldrix {
namespace {

// A save that cannot reach the file says so in red, naming the file and the
// system's reason, instead of failing again at every start without a word.
TEST(ConfigWriteFailure, FailedSaveWritesARedLineNamingTheFile) {
  SetUiLanguage(1);
  testing::TempFolder folder;
  const std::string file = folder.File("missing-folder/meldrix.cfg");
  CMeldrixDoc doc(ConfigPaths{folder.Path(), file, ""});
  doc.m_AutoActivate = false;
  EXPECT_FALSE(doc.SaveAutoActivate());
  std::string red;  // a long line wraps over several rows
  for (int row = 0; row < doc.LineCount(); ++row)
    if (doc.Line(row).colour == kLogRed) red += doc.Line(row).text;
  EXPECT_EQ(red.find("The configuration could not be written: " + file), 0u) << red;
  EXPECT_NE(red.find("No such file or directory"), std::string::npos) << red;
}

}  // namespace
}  // namespace meldrix
