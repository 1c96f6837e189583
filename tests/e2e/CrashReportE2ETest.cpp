#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "e2e/E2eHarness.h"
#include "support/DatagramSink.h"
#include "support/Files.h"

namespace meldrix::testing {
namespace {

namespace fs = std::filesystem;

// "Meldrix_YYYYMMDD_HHMMSS.dmp"
bool IsReportName(const std::string& name) {
  const std::string shape = "Meldrix_########_######.dmp";
  if (name.size() != shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i)
    if (shape[i] == '#' ? !std::isdigit(static_cast<unsigned char>(name[i])) : name[i] != shape[i]) return false;
  return true;
}

class CrashReportE2eTest : public ::testing::Test {
 protected:
  CrashReportE2eTest() : syslog_(setup_.File("syslog.sock")) {
    fs::create_directories(Reports());
    setup_.WriteConfig("[Settings]\nAutoActivate=1\n");
    // No core files from the crashes on purpose.
    rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
  }
  std::string Reports() const { return setup_.File("tmp"); }
  // The program with the crash trigger set (or not), its reports into our
  // folder, and the sanitizers' own handling of these signals off.
  std::unique_ptr<LoggedProcess> Start(const std::string& crash) {
    std::vector<std::string> environment = {
        "MELDRIX_DATA=" + setup_.DataFolder(), "MELDRIX_RUNTIME_DIR=" + setup_.RuntimeFolder(),
        "MELDRIX_DDE_DIR=" + setup_.RuntimeFolder() + "/dde", "MELDRIX_TEST_SYSLOG=" + syslog_.Path(),
        "TMPDIR=" + Reports(), "ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_abort=0:detect_leaks=0"};
    if (!crash.empty()) environment.push_back("MELDRIX_TEST_CRASH=" + crash);
    for (const std::string& entry : EnvironmentWith({}))
      if (entry.rfind("ASAN_OPTIONS=", 0) != 0 && entry.rfind("TMPDIR=", 0) != 0) environment.push_back(entry);
    return std::make_unique<LoggedProcess>("meldrix", std::vector<std::string>{"-HIDE"}, environment,
                                           setup_.File("meldrix"));
  }
  std::vector<fs::path> ReportFiles() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(Reports())) files.push_back(entry.path());
    return files;
  }

  E2eSetup setup_;
  DatagramSink syslog_;
};

TEST_F(CrashReportE2eTest, EachWayOfDyingLeavesAReportAndASyslogLine) {
  struct Case {
    const char* trigger;
    int exitStatus;  // -1: ended by the signal
    const char* event;
    const char* cause;
  };
  for (const Case& c : {Case{"segv", -1, "event 0", "Signal: 11 (SIGSEGV)\nFault address: 0x10\n"},
                        Case{"abort", -1, "event 200", "Signal: 6 (SIGABRT)"},
                        Case{"terminate", -1, "event 0", "Cause: std::terminate with "},
                        Case{"exit", 3, "event 100", "Cause: exit without the regular shut-down"}}) {
    SCOPED_TRACE(c.trigger);
    for (const fs::path& old : ReportFiles()) fs::remove(old);
    auto meldrix = Start(c.trigger);
    EXPECT_EQ(meldrix->WaitForExit(), c.exitStatus) << meldrix->Errors();
    const auto files = ReportFiles();
    ASSERT_EQ(files.size(), 1u) << meldrix->Errors();
    EXPECT_TRUE(IsReportName(files[0].filename().string())) << files[0];
    struct stat info {};
    ASSERT_EQ(::stat(files[0].c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string report = ReadFile(files[0]);
    EXPECT_NE(report.find(c.cause), std::string::npos) << report.substr(0, 600);
    EXPECT_NE(report.find("Version: "), std::string::npos);
    // The failing thread's frames come from the program itself.
    const auto backtrace = report.find("\nBacktrace:\n"), maps = report.find("\nMemory map:\n");
    ASSERT_NE(backtrace, std::string::npos);
    ASSERT_NE(maps, std::string::npos);
    EXPECT_NE(report.substr(backtrace, maps - backtrace).find("meldrix("), std::string::npos)
        << report.substr(backtrace, maps - backtrace);
    EXPECT_NE(report.find("[stack]", maps), std::string::npos);
    const std::string line = std::string(c.event) + ": Saved dump file to: " + files[0].string();
    const auto messages = syslog_.Take();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("<11>Meldrix[", 0), 0u) << messages[0];
    EXPECT_EQ(messages[0].substr(messages[0].find("]: ") + 3), line);
    EXPECT_NE(meldrix->Errors().find(line.substr(line.find("Saved"))), std::string::npos) << meldrix->Errors();
  }
}

TEST_F(CrashReportE2eTest, RegularShutDownWritesNothing) {
  auto meldrix = Start("");
  ASSERT_TRUE(setup_.WaitForStartUp()) << meldrix->Errors();
  ASSERT_TRUE(setup_.WaitForCommand("[check(Meldrix)]"));
  EXPECT_EQ(meldrix->Stop(), 0);
  EXPECT_TRUE(ReportFiles().empty());
  EXPECT_TRUE(syslog_.Take().empty());
}

}  // namespace
}  // namespace meldrix::testing
