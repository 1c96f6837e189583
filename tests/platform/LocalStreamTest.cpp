#include "platform/LocalStream.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>

#include "support/TempFolder.h"

using namespace meldrix;
using namespace std::chrono_literals;

TEST(StreamEndpoint, ParsesUnixAndTcpForms) {
  const std::pair<const char*, const char*> rows[] = {  // text, then kind|path|host|port as parsed
      {"unix:/run/korvane/korvane.sock", "unix|/run/korvane/korvane.sock||"},
      {"tcp:127.0.0.1:2000", "tcp||127.0.0.1|2000"},
      {"tcp:[::1]:26", "tcp||::1|26"}};
  for (const auto& [text, parts] : rows) {
    auto endpoint = StreamEndpoint::Parse(text);
    ASSERT_TRUE(endpoint) << text;
    EXPECT_EQ(std::string(endpoint->kind == StreamEndpoint::Kind::Unix ? "unix|" : "tcp|") + endpoint->path + "|" +
                  endpoint->host + "|" + (endpoint->host.empty() ? "" : std::to_string(endpoint->port)),
              parts);
    EXPECT_EQ(endpoint->ToString(), text);
  }
  for (const char* bad : {"", "unix:", "tcp:", "tcp:host", "tcp::80", "tcp:host:", "tcp:host:65536",
                          "tcp:host:8x", "udp:host:1", "/path"})
    EXPECT_FALSE(StreamEndpoint::Parse(bad)) << bad;
}

// The exchange over the socket is covered by the Korvane client tests.
TEST(StreamListener, UnixSocketAppearsWhenListeningAndGoesAway) {
  meldrix::testing::TempFolder folder;
  auto endpoint = *StreamEndpoint::Parse("unix:" + folder.File("a.sock"));
  {
    int error = 0;
    StreamListener listener = StreamListener::Listen(endpoint, error);
    ASSERT_EQ(error, 0);
    EXPECT_TRUE(std::filesystem::is_socket(endpoint.path));
    // A second listener does not steal the live socket.
    StreamListener second = StreamListener::Listen(endpoint, error);
    EXPECT_EQ(error, EADDRINUSE);
    EXPECT_FALSE(second.IsOpen());
    listener.Accept(std::chrono::steady_clock::now() + 1s, error);  // its probe
    int timeoutError = 0;
    listener.Accept(std::chrono::steady_clock::now() + 10ms, timeoutError);
    EXPECT_EQ(timeoutError, ETIMEDOUT);
  }
  EXPECT_FALSE(std::filesystem::exists(endpoint.path));
  // Never replaces a file that is not a socket.
  std::ofstream(endpoint.path) << "data";
  int error = 0;
  StreamListener::Listen(endpoint, error);
  EXPECT_EQ(error, EEXIST);
}

TEST(LocalStream, ReceiveStopsAtTheLimitAndTheDeadline) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  LocalStream a(pair[0]), b(pair[1]);
  ASSERT_EQ(b.SendAll("0123456789", std::chrono::steady_clock::now() + 1s), 0);
  std::string got;
  EXPECT_EQ(a.ReceiveToEnd(got, 4, std::chrono::steady_clock::now() + 1s), EMSGSIZE);
  EXPECT_EQ(got, "0123");
  got.clear();
  ASSERT_EQ(b.SendAll("xy", std::chrono::steady_clock::now() + 1s), 0);
  EXPECT_EQ(a.ReceiveToEnd(got, 100, std::chrono::steady_clock::now() + 20ms), ETIMEDOUT);
  EXPECT_EQ(got, "xy");
}
