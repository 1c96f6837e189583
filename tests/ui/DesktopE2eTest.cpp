// The real program with its window on a virtual X server (xvfb-run): found
// by its title, a message sent through its socket source reaches Korvane, a
// second start brings it to the front, a screenshot is kept as an artefact,
// and SIGTERM ends it with status 0.
#include <gtest/gtest.h>
#include <signal.h>

#include <QImage>
#include <cstdio>
#include <filesystem>

#include "e2e/E2eHarness.h"
#include "sources/SocketClient.h"
#include "support/FreePort.h"
#include "ui/UiTestSupport.h"

namespace meldrix::testing {
namespace {

// Runs a command to its end; its standard output.
std::string Capture(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    ::pclose(pipe);
  }
  return output;
}

// A display number no X server uses: neither a socket file nor a lock here,
// nor a socket in the abstract namespace, which X servers of other
// containers on the same network share and which clients try first.
int FreeDisplay() {
  const std::string sockets = ReadFile("/proc/net/unix");
  for (int display = 50 + ::getpid() % 400;; ++display) {
    const std::string number = std::to_string(display);
    if (!std::filesystem::exists("/tmp/.X11-unix/X" + number) &&
        !std::filesystem::exists("/tmp/.X" + number + "-lock") &&
        sockets.find("@/tmp/.X11-unix/X" + number + "\n") == std::string::npos)
      return display;
  }
}

// An X window dump (xwd, 24 or 32 bits per pixel, true colour) as an image.
QImage FromXwd(const std::string& bytes) {
  auto card = [&](std::size_t index) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 4 * index;
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
  };
  if (bytes.size() < 100) return {};
  const std::uint32_t headerSize = card(0), width = card(4), height = card(5), byteOrder = card(7),
                      bitsPerPixel = card(11), bytesPerLine = card(12), ncolours = card(19);
  const std::size_t data = headerSize + 12u * ncolours;
  if ((bitsPerPixel != 32 && bitsPerPixel != 24) || data + std::size_t(bytesPerLine) * height > bytes.size())
    return {};
  QImage image(int(width), int(height), QImage::Format_RGB32);
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + data + y * bytesPerLine +
                      x * (bitsPerPixel / 8);
      const std::uint32_t pixel = byteOrder == 0 ? (p[0] | p[1] << 8 | p[2] << 16)
                                                 : (p[bitsPerPixel / 8 - 1] | p[bitsPerPixel / 8 - 2] << 8 |
                                                    p[bitsPerPixel / 8 - 3] << 16);
      image.setPixel(int(x), int(y), 0xFF000000u | pixel);
    }
  return image;
}

// The real program under xvfb-run with instance "Desk": one socket source on
// Port(), every text matched for receiver 4711 with `text`.
class DesktopProgram {
 public:
  explicit DesktopProgram(const std::string& text) : port_(FreePort()) {
    setup_.WriteConfig("[Settings]\nAutoActivate=1\nLanguage=1\n[MailServer]\nSmtpPort=" +
                           std::to_string(FreePort()) + "\n[InSource1]\nName=Net\nSource=5\nSocketPort=" +
                           std::to_string(port_) + "\n[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\nText=" +
                           text + "\n",
                       "Desk");
    auth_ = setup_.File("xauth");
    // Our own offscreen platform must not reach the program. Qt's X11
    // libraries keep some memory to the end, which LeakSanitizer is told about.
    environment_ = {"LSAN_OPTIONS=suppressions=" MELDRIX_SOURCE_DIR "/tests/ui/qt-lsan.supp"};
    for (const std::string& entry : MeldrixEnvironment(setup_.DataFolder(), setup_.RuntimeFolder()))
      if (entry.rfind("QT_QPA_PLATFORM=", 0) != 0 && entry.rfind("DISPLAY=", 0) != 0 &&
          entry.rfind("LSAN_OPTIONS=", 0) != 0)
        environment_.push_back(entry);
    ChildOptions options;
    options.environment = environment_;
    options.stdoutFile = setup_.File("meldrix.out");
    options.stderrFile = setup_.File("meldrix.err");
    options.stdinFromNull = true;
    // The display xvfb-run uses and the program's process are written down
    // for the test. Without -noreset the server resets whenever its last
    // client leaves (the test's probes do), and a program connecting then is
    // refused.
    xvfb_.emplace(std::vector<std::string>{"/usr/bin/xvfb-run", "-n", std::to_string(FreeDisplay()), "-f", auth_,
                                           "-e", setup_.File("xvfb.err"), "-s",
                                           "-screen 0 1024x768x24 -noreset", "/bin/sh", "-c",
                                           "echo \"$DISPLAY\" >" + setup_.File("display") + "; echo $$ >" +
                                               setup_.File("pid") + "; exec " MELDRIX_BUILD_DIR "/meldrix Desk"},
                  options);
  }

  static bool Available() {
    return std::filesystem::exists("/usr/bin/xvfb-run") && std::filesystem::exists("/usr/bin/xwininfo");
  }
  E2eSetup& Setup() { return setup_; }
  int Port() const { return port_; }
  std::string Logs() const {
    return ReadFile(setup_.File("meldrix.out")) + ReadFile(setup_.File("meldrix.err")) +
           ReadFile(setup_.File("xvfb.err"));
  }
  // A command run against the program's display.
  std::string X(const std::string& command) const {
    return Capture("DISPLAY=" + Display() + " XAUTHORITY=" + auth_ + " " + command);
  }
  // A window titled exactly `title` is on the screen.
  bool WaitForShownWindow(const std::string& title) const {
    return WaitUntil([&] {
      const std::string tree = X("xwininfo -root -tree");
      for (std::size_t at = tree.find(" \"" + title + "\": ("); at != std::string::npos;
           at = tree.find(" \"" + title + "\": (", at + 1)) {
        const std::size_t id = tree.rfind("0x", at);
        if (X("xwininfo -id " + tree.substr(id, at - id)).find("IsViewable") != std::string::npos) return true;
      }
      return false;
    });
  }
  bool WaitForWindow(const std::string& title) const {
    return WaitUntil([&] { return X("xwininfo -name '" + title + "' 2>/dev/null").find("Window id:") != std::string::npos; });
  }
  std::vector<std::string> SecondStartEnvironment() const {
    return EnvironmentWith({"MELDRIX_DATA=" + setup_.DataFolder(), "MELDRIX_RUNTIME_DIR=" + setup_.RuntimeFolder(),
                            "DISPLAY=" + Display(), "XAUTHORITY=" + auth_, environment_.front()});
  }
  // A failed test must not leave the program and its server behind: ended
  // first, xvfb-run cleans up after it.
  ~DesktopProgram() {
    if (xvfb_->Running() && !xvfb_->WaitForExit(std::chrono::milliseconds(0))) Terminate();
  }

  // SIGTERM to the program; its exit status, which xvfb-run passes on.
  std::optional<int> Terminate() {
    const std::string pid = ReadFile(setup_.File("pid"));
    if (pid.empty() || ::kill(static_cast<pid_t>(std::stol(pid)), SIGTERM) != 0) return std::nullopt;
    return xvfb_->WaitForExit();
  }
  // The process that owns the window titled `title`.
  std::string WindowOwner(const std::string& title) const {
    const std::string line = X("xprop -name '" + title + "' _NET_WM_PID");
    const std::size_t equals = line.find("= ");
    return equals == std::string::npos ? std::string() : line.substr(equals + 2, line.find('\n') - equals - 2);
  }
  bool Send(const std::string& text) {
    CSocketClient client;
    return WaitUntil([&] { return client.Connect("127.0.0.1", static_cast<std::uint16_t>(port_), 500); }) &&
           client.Send(text);
  }

 private:
  E2eSetup setup_;
  std::string Display() const {
    std::string display = ReadFile(setup_.File("display"));
    while (!display.empty() && display.back() == '\n') display.pop_back();
    return display;
  }

  int port_;
  std::string auth_;
  std::vector<std::string> environment_;
  std::optional<ChildProcess> xvfb_;
};

TEST(DesktopE2eTest, WindowShowsTheLogOfTheRealProgram) {
  if (!DesktopProgram::Available()) GTEST_SKIP() << "xvfb-run and xwininfo are needed (scripts/install-deps)";
  DesktopProgram program("Alarm {{$MESSAGE}}");
  ASSERT_TRUE(program.WaitForWindow("Meldrix - Desk")) << program.Logs();
  ASSERT_TRUE(program.Setup().WaitForStartUp("Desk")) << program.Logs();
  ASSERT_TRUE(program.Send("fire in hall 3\r\n"));
  ASSERT_TRUE(program.Setup().WaitForCommand("Alarm fire in hall 3")) << program.Logs();

  // A second start with the same parameters asks the first to the front.
  LoggedProcess second("meldrix", {"Desk"}, program.SecondStartEnvironment(), program.Setup().File("second"));
  EXPECT_EQ(second.WaitForExit(), 1) << second.Errors();
  EXPECT_TRUE(WaitUntil([&] { return program.Logs().find("asked to bring it to the front") != std::string::npos; }));

  // The screenshot, once the log has been drawn.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::string dump = program.Setup().File("screen.xwd");
  program.X("xwd -root -silent -out " + dump);
  const QImage screen = FromXwd(ReadFile(dump));
  ASSERT_FALSE(screen.isNull()) << "xwd (x11-apps) gave no usable dump";
  EXPECT_TRUE(screen.save(QString::fromStdString(ArtefactPath("desktop-e2e.png"))));
  EXPECT_GT(PixelsNear(screen, screen.rect(), QColor(255, 0, 0)), 20);  // the command in red
  EXPECT_GT(PixelsNear(screen, screen.rect(), QColor(0, 128, 0)), 20);  // the message in green

  // SIGTERM ends the program with status 0; the window is its own.
  EXPECT_EQ(program.WindowOwner("Meldrix - Desk") + "\n", ReadFile(program.Setup().File("pid")));
  EXPECT_EQ(program.Terminate(), 0) << program.Logs();
}

// An expression's message box waits inside the engine: SIGTERM still ends
// the program, the box is closed without an answer, and the message it held is
// sent before processing stops.
TEST(DesktopE2eTest, SigtermEndsTheProgramWhileAMessageBoxWaits) {
  if (!DesktopProgram::Available()) GTEST_SKIP() << "xvfb-run and xwininfo are needed (scripts/install-deps)";
  DesktopProgram program("Gate {{MESSAGEBOX('Open the gate?', 4)}} {{$MESSAGE}}");
  ASSERT_TRUE(program.WaitForWindow("Meldrix - Desk")) << program.Logs();
  ASSERT_TRUE(program.Setup().WaitForStartUp("Desk")) << program.Logs();
  ASSERT_TRUE(program.Send("visitor at gate 2\r\n"));
  ASSERT_TRUE(program.WaitForShownWindow("Meldrix")) << program.Logs();  // the box
  EXPECT_EQ(program.Terminate(), 0) << program.Logs();
  // Yes/No has no escape: the default button answers, Yes (6), as in the
  // headless program.
  EXPECT_EQ(program.Setup().SentCommands(), std::vector<std::string>{"[send(*|4711|Gate 6 visitor at gate 2|||||)]"})
      << program.Logs();
}

// A display that cannot be opened: the program runs headless instead of
// ending, and still handles messages.
TEST(DesktopE2eTest, UnreachableDisplayFallsBackToHeadless) {
  E2eSetup setup;
  const int port = FreePort();
  setup.WriteConfig("[Settings]\nAutoActivate=1\n[MailServer]\nSmtpPort=" + std::to_string(FreePort()) +
                    "\n[InSource1]\nName=Net\nSource=5\nSocketPort=" + std::to_string(port) +
                    "\n[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\n");
  // No X server has a display number this high.
  std::vector<std::string> environment = {"DISPLAY=:64999",
                                          "LSAN_OPTIONS=suppressions=" MELDRIX_SOURCE_DIR "/tests/ui/qt-lsan.supp"};
  for (const std::string& entry : MeldrixEnvironment(setup.DataFolder(), setup.RuntimeFolder()))
    if (entry.rfind("QT_QPA_PLATFORM=", 0) != 0 && entry.rfind("DISPLAY=", 0) != 0 &&
        entry.rfind("WAYLAND_DISPLAY=", 0) != 0 && entry.rfind("LSAN_OPTIONS=", 0) != 0)
      environment.push_back(entry);
  LoggedProcess meldrix("meldrix", {}, environment, setup.File("meldrix"));
  ASSERT_TRUE(setup.WaitForStartUp()) << meldrix.Errors();
  CSocketClient client;
  ASSERT_TRUE(WaitUntil([&] { return client.Connect("127.0.0.1", static_cast<std::uint16_t>(port), 500); }));
  ASSERT_TRUE(client.Send("smoke in cellar\r\n"));
  EXPECT_TRUE(setup.WaitForCommand("smoke in cellar")) << meldrix.Errors();
  EXPECT_EQ(meldrix.Stop(), 0) << meldrix.Errors();
  EXPECT_NE(meldrix.Errors().find("running headless"), std::string::npos) << meldrix.Errors();
}

}  // namespace
}  // namespace meldrix::testing
