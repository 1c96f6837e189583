// The whole desktop run in this process: an activation error's box opens
// during start-up, before Qt's loop runs; SIGTERM closes it, start-up ends,
// and the program ends with status 0.
#include <gtest/gtest.h>
#include <signal.h>

#include <QMessageBox>
#include <QTimer>
#include <sstream>

#include "platform/Signals.h"
#include "support/TempFolder.h"
#include "ui/DesktopFrontEnd.h"
#include "ui/UiTestSupport.h"

namespace meldrix::testing {
namespace {

TEST(DesktopFrontEndTest, SigtermEndsTheRunWhileAStartUpBoxWaits) {
  TempFolder data;
  ::setenv("MELDRIX_DATA", data.Path().c_str(), 1);
  ::setenv("MELDRIX_RUNTIME_DIR", data.File("run").c_str(), 1);
  ::setenv("MELDRIX_DDE_DIR", data.File("dde").c_str(), 1);
  WriteFile(data.File("meldrix.cfg"), "[Settings]\nAutoActivate=1\nLanguage=1\n[Ports]\nCOM1=" +
                                          data.File("no-such-device") +
                                          "\n[InSource1]\nName=Panel\nSource=1\nPort=0\n"
                                          "[Korvane]\nEndpoint=unix:" + data.File("none.sock") + "\n");
  // SIGTERM raised on this thread stays pending for the program's descriptor.
  ASSERT_TRUE(BlockProgramSignals());
  QString boxText;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && boxText.isEmpty()) {
      boxText = box->text();
      ::raise(SIGTERM);
    }
  });
  watch.start(20);
  QTimer fallback;  // never hang: ends the run when no box came
  fallback.setSingleShot(true);
  QObject::connect(&fallback, &QTimer::timeout, [] { ::raise(SIGTERM); });
  fallback.start(kUiTimeoutMs);
  std::ostringstream out, err;
  CDesktopFrontEnd frontEnd;
  EXPECT_EQ(RunProgram({}, out, err, &frontEnd), 0) << err.str();
  EXPECT_TRUE(fallback.isActive());
  EXPECT_TRUE(boxText.contains("could not be opened")) << boxText.toStdString();
  EXPECT_NE(out.str().find("Could not open message source"), std::string::npos) << out.str();
  UnblockProgramSignals();
}

}  // namespace
}  // namespace meldrix::testing
