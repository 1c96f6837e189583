#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "e2e/E2eHarness.h"
#include "support/FreePort.h"

namespace meldrix::testing {
namespace {

// Connects to the local port, retrying while the program is still starting.
int ConnectTo(int port) {
  int fd = -1;
  WaitUntil([&] {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
    ::close(fd);
    fd = -1;
    return false;
  });
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// A text split over two TCP segments with a pause between them is one
// message; a peer that connects and leaves without data adds nothing.
TEST(SocketSourceE2eTest, TextInTwoSegmentsIsOneMessage) {
  E2eSetup setup;
  int port = FreePort();
  setup.WriteConfig("[Settings]\nAutoActivate=1\n"
                    "[InSource1]\nName=Net\nSource=5\nSocketPort=" + std::to_string(port) +
                    "\n[Message1]\nName=All\nReceiver=4711\nLeftTrigger=\n"
                    "Text={{$MESSAGE}} via {{$INPORT}}\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  int silent = ConnectTo(port);
  ASSERT_GE(silent, 0) << meldrix.Output() << meldrix.Errors();
  ::close(silent);
  int fd = ConnectTo(port);
  ASSERT_GE(fd, 0);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ASSERT_TRUE(SendAll(fd, "fire in hall"));
  // Long enough for the program to poll the first half on its own.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  ASSERT_TRUE(SendAll(fd, " 3\r\n"));
  ASSERT_TRUE(setup.WaitForCommand("hall 3")) << meldrix.Output() << meldrix.Errors();
  ::close(fd);
  // Once the program has ended nothing more can arrive: exactly one message.
  EXPECT_EQ(meldrix.Stop(), 0);
  auto sent = setup.SentCommands();
  ASSERT_EQ(sent.size(), 1u) << meldrix.Output();
  EXPECT_NE(sent[0].find("|4711|fire in hall 3 via Net"), std::string::npos) << sent[0];
}

}  // namespace
}  // namespace meldrix::testing
