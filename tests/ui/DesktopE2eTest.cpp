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

int FreeDisplay() {
  for (int display = 50 + ::getpid() % 400;; ++display)
    if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(display)) &&
        !std::filesystem::exists("/tmp/.X" + std::to_string(display) + "-lock"))
      return display;
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

TEST(DesktopE2eTest, WindowShowsTheLogOfTheRealProgram) {
  if (!std::filesystem::exists("/usr/bin/xvfb-run") || !std::filesystem::exists("/usr/bin/xwininfo"))
    GTEST_SKIP() << "xvfb-run and xwininfo are needed (scripts/install-deps)";
  E2eSetup setup;
  const int port = FreePort();
  setup.WriteConfig("[Settings]\nAutoActivate=1\nLanguage=1\n[MailServer]\nSmtpPort=" + std::to_string(FreePort()) +
                        "\n[InSource1]\nName=Net\nSource=5\nSocketPort=" + std::to_string(port) +
                        "\n[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\nText=Alarm {{$MESSAGE}}\n",
                    "Desk");
  const int display = FreeDisplay();
  const std::string auth = setup.File("xauth");
  // Our own offscreen platform must not reach the program. Qt's X11 libraries
  // keep some memory to the end, which LeakSanitizer is told about.
  std::vector<std::string> environment = {"LSAN_OPTIONS=suppressions=" MELDRIX_SOURCE_DIR "/tests/ui/qt-lsan.supp"};
  for (const std::string& entry : MeldrixEnvironment(setup.DataFolder(), setup.RuntimeFolder()))
    if (entry.rfind("QT_QPA_PLATFORM=", 0) != 0 && entry.rfind("DISPLAY=", 0) != 0 &&
        entry.rfind("LSAN_OPTIONS=", 0) != 0)
      environment.push_back(entry);
  ChildOptions options;
  options.environment = environment;
  options.stdoutFile = setup.File("meldrix.out");
  options.stderrFile = setup.File("meldrix.err");
  options.stdinFromNull = true;
  ChildProcess xvfb({"/usr/bin/xvfb-run", "-n", std::to_string(display), "-f", auth, "-s",
                     "-screen 0 1024x768x24", MELDRIX_BUILD_DIR "/meldrix", "Desk"},
                    options);
  const std::string x = "DISPLAY=:" + std::to_string(display) + " XAUTHORITY=" + auth + " ";
  auto logs = [&] { return ReadFile(setup.File("meldrix.out")) + ReadFile(setup.File("meldrix.err")); };

  std::string window;
  ASSERT_TRUE(WaitUntil([&] {
    window = Capture(x + "xwininfo -name 'Meldrix - Desk' 2>/dev/null");
    return window.find("Window id:") != std::string::npos;
  })) << logs();
  ASSERT_TRUE(setup.WaitForStartUp("Desk")) << logs();

  CSocketClient client;
  ASSERT_TRUE(WaitUntil([&] { return client.Connect("127.0.0.1", static_cast<std::uint16_t>(port), 500); }));
  ASSERT_TRUE(client.Send("fire in hall 3\r\n"));
  ASSERT_TRUE(setup.WaitForCommand("Alarm fire in hall 3")) << logs();

  // A second start with the same parameters asks the first to the front.
  LoggedProcess second("meldrix", {"Desk"}, EnvironmentWith({"MELDRIX_DATA=" + setup.DataFolder(),
                                                              "MELDRIX_RUNTIME_DIR=" + setup.RuntimeFolder(),
                                                              "DISPLAY=:" + std::to_string(display),
                                                              "XAUTHORITY=" + auth, environment.front()}),
                       setup.File("second"));
  EXPECT_EQ(second.WaitForExit(), 1) << second.Errors();
  EXPECT_TRUE(WaitUntil([&] { return logs().find("asked to bring it to the front") != std::string::npos; }));

  // The screenshot, once the log has been drawn.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::string dump = setup.File("screen.xwd");
  Capture(x + "xwd -root -silent -out " + dump);
  const QImage screen = FromXwd(ReadFile(dump));
  ASSERT_FALSE(screen.isNull()) << "xwd (x11-apps) gave no usable dump";
  EXPECT_TRUE(screen.save(QString::fromStdString(ArtefactPath("desktop-e2e.png"))));
  EXPECT_GT(PixelsNear(screen, screen.rect(), QColor(255, 0, 0)), 20);  // the command in red
  EXPECT_GT(PixelsNear(screen, screen.rect(), QColor(0, 128, 0)), 20);  // the message in green

  // SIGTERM ends the program at once, with status 0 (xvfb-run passes it on).
  const std::string pidLine = Capture(x + "xprop -name 'Meldrix - Desk' _NET_WM_PID");
  const std::size_t equals = pidLine.find('=');
  ASSERT_NE(equals, std::string::npos) << pidLine;
  const pid_t pid = static_cast<pid_t>(std::stol(pidLine.substr(equals + 1)));
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(xvfb.WaitForExit(), 0) << logs();
}

}  // namespace
}  // namespace meldrix::testing
