#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "engine/Korvane.h"
#include "engine/KorvaneReply.h"
#include "engine/KorvaneStubProcess.h"
#include "support/Files.h"
#include "support/FreePort.h"
#include "platform/LocalStream.h"

using namespace meldrix;
using meldrix::testing::FreePort;
using meldrix::testing::KorvaneStubProcess;
using meldrix::testing::TempFolder;
using namespace std::chrono_literals;

namespace {

// A one-connection server inside the test for replies the stub never gives.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::string reply) {
    int error = 0;
    listener_ = StreamListener::Listen(*StreamEndpoint::Parse("unix:" + folder_.File("s.sock")), error);
    EXPECT_EQ(error, 0);
    thread_ = std::thread([this, reply = std::move(reply)] {
      int e = 0;
      LocalStream c = listener_.Accept(std::chrono::steady_clock::now() + 10s, e);
      if (e) return;
      std::string command;
      c.ReceiveToEnd(command, 1 << 20, std::chrono::steady_clock::now() + 10s);
      received_ = command;
      c.SendAll(reply, std::chrono::steady_clock::now() + 10s);
    });
  }
  ~ScriptedServer() { thread_.join(); }
  std::string Endpoint() const { return listener_.BoundEndpoint().ToString(); }
  const std::string& Received() const { return received_; }

 private:
  TempFolder folder_;
  StreamListener listener_;
  std::thread thread_;
  std::string received_;
};

}  // namespace

TEST(KorvaneClient, EndpointComesFromSectionKorvane) {
  EXPECT_EQ(KorvaneEndpointSetting({}), kKorvaneDefaultEndpoint);
  TempFolder folder;
  std::string config = folder.File("meldrix.cfg");
  meldrix::testing::WriteFile(config, "[korvane]\nendpoint=unix:/tmp/k.sock\n");
  EXPECT_EQ(KorvaneEndpointSetting(ConfigFileValues(config)), "unix:/tmp/k.sock");
  EXPECT_EQ(KorvaneEndpointSetting(ConfigFileValues(folder.File("missing.cfg"))),
            kKorvaneDefaultEndpoint);
}

TEST(KorvaneClient, SendsAreJournalledAndNumberedOverAUnixSocket) {
  KorvaneStubProcess stub({"--receivers", "M\xC3\xBCller[12]|Schulz.1[3]"});
  CKorvane korvane(stub.Endpoint());
  // Windows-1252 on our side, UTF-8 on the wire.
  KorvaneResult first = korvane.Execute(KorvaneSendCommand(" 0815 ", "Brand in Halle \xC4"));
  ASSERT_TRUE(first.Succeeded()) << std::hex << first.hr;
  EXPECT_EQ(first.reply, "1");
  EXPECT_TRUE(IsKorvaneSendAccepted(first.reply));
  KorvaneResult second = korvane.Execute(KorvaneSendCommand("Gruppe:Nord", "B"));
  EXPECT_EQ(second.reply, "2");
  EXPECT_EQ(korvane.Execute(kKorvaneCheckCommand).reply, "1");
  KorvaneResult list = korvane.Execute(kKorvaneGetReceiversCommand);
  EXPECT_EQ(list.reply, "M\xFCller[12]|Schulz.1[3]");
  EXPECT_EQ(ParseKorvaneReceivers(list.reply), (std::vector<std::string>{"M\xFCller", "Schulz"}));
  EXPECT_EQ(stub.Journal(),
            (std::vector<std::string>{"[send(*|0815|Brand in Halle \xC3\x84|||||)]",
                                      "[send(S|Gruppe:Nord|B|||||)]", "[check(Meldrix)]",
                                      "[GetValue(Setup.Receivers)]"}));
  EXPECT_EQ(stub.Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(stub.Folder().File("korvane.sock")));
}

TEST(KorvaneClient, WorksOverTcpOnLoopback) {
  KorvaneStubProcess stub({}, "tcp:127.0.0.1:0");
  CKorvane korvane(stub.Endpoint());
  KorvaneResult result = korvane.Execute("[send(*|A|x|||||)]");
  ASSERT_TRUE(result.Succeeded()) << std::hex << result.hr;
  EXPECT_EQ(result.reply, "1");
  EXPECT_EQ(stub.Journal(), std::vector<std::string>{"[send(*|A|x|||||)]"});
}

TEST(KorvaneClient, ZeroOrNoReplyIsDeliveredButNotAccepted) {
  const std::pair<std::vector<std::string>, const char*> rows[] = {{{"--reply", "0"}, "0"}, {{"--silent"}, ""}};
  for (const auto& [args, reply] : rows) {
    KorvaneStubProcess stub(args);
    KorvaneResult result = CKorvane(stub.Endpoint()).Execute("[send(*|A|x|||||)]");
    EXPECT_TRUE(result.Succeeded()) << std::hex << result.hr;
    EXPECT_EQ(result.reply, reply);
    EXPECT_FALSE(IsKorvaneSendAccepted(result.reply));
    EXPECT_EQ(stub.Journal().size(), 1u);
  }
}

TEST(KorvaneClient, ServerThatNeverAnswersCostsOnlyTheTimeLimit) {
  KorvaneStubProcess stub({"--hang"});
  auto start = std::chrono::steady_clock::now();
  KorvaneResult result = CKorvane(stub.Endpoint(), 200ms).Execute("[check(Meldrix)]");
  EXPECT_EQ(result.hr, KORVANE_E_TIMEOUT);
  EXPECT_EQ(result.reply, "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);  // generous: not a speed test
  EXPECT_EQ(stub.Stop(), 0) << "a hanging connection must not keep the stub from stopping";
}

TEST(KorvaneClient, MissingEndpointIsClassNotRegistered) {
  TempFolder folder;
  for (const std::string& endpoint : {"unix:" + folder.File("none.sock"), "unix:" + folder.File("no/dir.sock"),
                                      std::string(), std::string("/run/korvane.sock"),
                                      std::string("tcp:no-such-host.invalid:1")})
    EXPECT_EQ(CKorvane(endpoint).Execute("[check(Meldrix)]").hr, KORVANE_E_CLASSNOTREG) << endpoint;
}

TEST(KorvaneClient, NobodyListeningIsServerUnavailable) {
  TempFolder folder;
  // A socket file left behind by a server that is gone.
  std::string path = folder.File("stale.sock");
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
  EXPECT_EQ(CKorvane("unix:" + path).Execute("x").hr, KORVANE_E_SERVER_UNAVAILABLE);
  // A loopback port that nobody listens on.
  EXPECT_EQ(CKorvane("tcp:127.0.0.1:" + std::to_string(FreePort())).Execute("x").hr, KORVANE_E_SERVER_UNAVAILABLE);
  // A client that failed reaches the server once it is there (its
  // addresses are looked up again), and keeps reaching it.
  const std::string port = std::to_string(FreePort());
  CKorvane later("tcp:localhost:" + port);
  EXPECT_EQ(later.Execute("x").hr, KORVANE_E_SERVER_UNAVAILABLE);
  KorvaneStubProcess stub({}, "tcp:127.0.0.1:" + port);
  EXPECT_EQ(later.Execute("[check(Meldrix)]").reply, "1");
  EXPECT_EQ(later.Execute("[check(Meldrix)]").reply, "1");
}

TEST(KorvaneClient, InvalidUtf8InTheReplyIsKeptByteByByteAndAnOversizedOneRefused) {
  ScriptedServer server("\xFF" "12 \xC3\xA4\xC3");
  KorvaneResult result = CKorvane(server.Endpoint()).Execute("[send(*|A|\x80|||||)]");
  ASSERT_TRUE(result.Succeeded());
  EXPECT_EQ(result.reply, "\xFF" "12 \xE4\xC3");
  EXPECT_EQ(server.Received(), "[send(*|A|\xE2\x82\xAC|||||)]");
  ScriptedServer oversized(std::string(kKorvaneMaxReplyBytes + 1, '7'));
  result = CKorvane(oversized.Endpoint()).Execute("x");
  EXPECT_EQ(result.hr, KORVANE_E_REPLY_TOO_LONG);
  EXPECT_EQ(result.reply, "");
}

TEST(KorvaneClient, ErrnoCodesFollowTheHresultScheme) {
  const std::pair<int, std::uint32_t> rows[] = {
      {0, 0u}, {ENOENT, 0x80040154u}, {ECONNREFUSED, 0x800706BAu}, {ETIMEDOUT, 0x800705B4u},
      {EACCES, 0x80070000u + EACCES}};
  for (const auto& [error, hr] : rows) EXPECT_EQ(KorvaneErrorFromErrno(error), hr) << error;
}
