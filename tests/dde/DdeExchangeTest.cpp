// The exchange layer between real sockets: instances on their own threads,
// and child processes where ownership and process lifetime matter.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <cstring>
#include <mutex>

#include "dde/DdeTestSupport.h"
#include "platform/Cp1252.h"
#include "platform/DdeFrame.h"
#include "platform/DdeRuntimeFolder.h"

namespace meldrix {
namespace {

using testing::DdeFolderScope;
using testing::DdeThread;

// A server with topic "Line1", item "Temp": execute takes texts beginning
// with "ok", answers "busy" as busy and refuses the rest; every transaction
// type is recorded.
struct PlantServer {
  std::mutex mutex;
  std::string temp = "21.5";
  std::vector<std::uint16_t> seen;

  DdeCallback Callback() {
    return [this](const DdeTransaction& t) {
      std::lock_guard lock(mutex);
      seen.push_back(t.type);
      DdeAnswer a;
      switch (t.type) {
        case XTYP_CONNECT: a.value = t.topic == "Line1"; break;
        case XTYP_WILDCONNECT: a.pairs = {{t.service, 0, "Line1"}}; break;
        case XTYP_EXECUTE:
          a.value = t.data.rfind("ok", 0) == 0 ? DDE_FACK : t.data == "busy" ? DDE_FBUSY : 0;
          break;
        case XTYP_REQUEST:
          if (EqualsNoCaseAscii(t.item, "Temp")) a = {1, temp, {}};
          break;
        case XTYP_POKE:
          if (t.item == "Temp" && t.format == CF_TEXT) {
            temp = t.data;
            a.value = DDE_FACK;
          }
          break;
        case XTYP_ADVSTART: a.value = EqualsNoCaseAscii(t.item, "Temp"); break;
        default: break;
      }
      return a;
    };
  }
  bool Saw(std::uint16_t type) {
    std::lock_guard lock(mutex);
    return std::find(seen.begin(), seen.end(), type) != seen.end();
  }
};

auto Register(const std::string& service) {
  return [service](DdeInstance& i) { ASSERT_TRUE(i.RegisterService(service)); };
}

TEST(DdeRuntimeFolder, CreatedPrivateAndRefusedWhenOthersCouldWrite) {
  DdeFolderScope scope;
  std::string error;
  ASSERT_TRUE(PrepareDdeRuntimeFolder(error)) << error;
  struct stat st {};
  ASSERT_EQ(stat(scope.Folder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  {
    DdeInstance server(nullptr, 0);
    ASSERT_TRUE(server.RegisterService("Plant"));
    std::string socketPath = server.ServiceSocket("Plant");
    EXPECT_EQ(socketPath, scope.Folder() + "/Plant@" + std::to_string(getpid()) + ".sock");
    ASSERT_EQ(stat(socketPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }

  chmod(scope.Folder().c_str(), 0777);
  EXPECT_FALSE(PrepareDdeRuntimeFolder(error));
  EXPECT_NE(error.find("writable by others"), std::string::npos);
  DdeInstance refused(nullptr, 0);
  EXPECT_FALSE(refused.Initialized());

  if (geteuid() == 0) {
    chmod(scope.Folder().c_str(), 0700);
    ASSERT_EQ(chown(scope.Folder().c_str(), 65534, 65534), 0);
    EXPECT_FALSE(PrepareDdeRuntimeFolder(error));
    EXPECT_NE(error.find("another user"), std::string::npos);
  }
}

TEST(DdeExchange, TransactionsBetweenInstances) {
  DdeFolderScope scope;
  PlantServer plant;
  DdeThread server(plant.Callback(), Register("Plant"));
  DdeInstance client(nullptr, 0);

  EXPECT_EQ(client.Connect("Plant", "Line2"), 0u);  // topic refused
  EXPECT_EQ(client.GetLastError(), DMLERR_NO_CONV_ESTABLISHED);
  EXPECT_EQ(client.Connect("Nobody", "Line1"), 0u);
  EXPECT_EQ(client.GetLastError(), DMLERR_NO_CONV_ESTABLISHED);

  DdeConv conv = client.Connect("plant", "Line1");  // service names ignore case
  ASSERT_NE(conv, 0u);
  std::string value;
  EXPECT_TRUE(client.ClientTransaction(conv, XTYP_REQUEST, "Temp", CF_TEXT, "", 5000, &value));
  EXPECT_EQ(value, "21.5");
  EXPECT_FALSE(client.ClientTransaction(conv, XTYP_REQUEST, "Pressure", CF_TEXT, "", 5000, &value));
  EXPECT_EQ(client.GetLastError(), DMLERR_NOTPROCESSED);
  EXPECT_EQ(client.GetLastError(), 0u);  // reading clears it

  struct Case {
    std::uint16_t type;
    std::string item, data;
    bool ok;
    std::uint32_t error;
  } cases[] = {
      {XTYP_EXECUTE, "", "ok now", true, 0},
      {XTYP_EXECUTE, "", "no", false, DMLERR_NOTPROCESSED},
      {XTYP_EXECUTE, "", "busy", false, DMLERR_BUSY},
      {XTYP_POKE, "Temp", "30", true, 0},
      {XTYP_POKE, "Other", "30", false, DMLERR_NOTPROCESSED},
      {XTYP_ADVSTART, "Other", "", false, DMLERR_NOTPROCESSED},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(client.ClientTransaction(conv, c.type, c.item, CF_TEXT, c.data, 5000), c.ok)
        << c.data;
    EXPECT_EQ(client.GetLastError(), c.error) << c.data;
  }
  EXPECT_TRUE(client.ClientTransaction(conv, XTYP_REQUEST, "Temp", CF_TEXT, "", 5000, &value));
  EXPECT_EQ(value, "30");

  auto pairs = client.WildConnect("", "");
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].service, "Plant");
  EXPECT_EQ(pairs[0].topic, "Line1");
  EXPECT_EQ(pairs[0].pid, getpid());

  EXPECT_TRUE(client.Disconnect(conv));
  EXPECT_FALSE(client.ClientTransaction(conv, XTYP_EXECUTE, "", CF_TEXT, "ok", 5000));
  EXPECT_EQ(client.GetLastError(), DMLERR_NO_CONV_ESTABLISHED);
  EXPECT_TRUE(testing::WaitUntil([&] { return plant.Saw(XTYP_DISCONNECT); }));
}

TEST(DdeExchange, TimeoutAndPartnerThatDies) {
  DdeFolderScope scope;
  PlantServer plant;
  DdeInstance client(nullptr, 0);
  {
    // Registered but never pumped: the connect itself times out.
    DdeThread hung(plant.Callback(), Register("Hung"), false);
    EXPECT_EQ(client.Connect("Hung", "Line1"), 0u);
    EXPECT_EQ(client.GetLastError(), DMLERR_NO_CONV_ESTABLISHED);
  }
  DdeConv conv = 0;
  {
    DdeThread server(plant.Callback(), Register("Plant"));
    conv = client.Connect("Plant", "Line1");
    ASSERT_NE(conv, 0u);
  }
  EXPECT_FALSE(client.ClientTransaction(conv, XTYP_REQUEST, "Temp", CF_TEXT, "", 300));
  std::uint32_t error = client.GetLastError();
  EXPECT_TRUE(error == DMLERR_SERVER_DIED || error == DMLERR_NO_CONV_ESTABLISHED) << error;
}

TEST(DdeExchange, OversizedOrMalformedFrameEndsOnlyThatConversation) {
  DdeFolderScope scope;
  PlantServer plant;
  DdeThread server(plant.Callback(), Register("Plant"));
  auto sockets = FindDdeSockets(scope.Folder(), "Plant");
  ASSERT_EQ(sockets.size(), 1u);

  const std::string bad[] = {std::string("\xff\xff\xff\x7f", 4) + "xxxx",
                             std::string("\x15\0\0\0", 4) + std::string(21, '\x09')};
  for (const std::string& bytes : bad) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, sockets[0].path.c_str());
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    char c;
    EXPECT_EQ(read(fd, &c, 1), 0);  // closed by the server
    close(fd);
  }
  DdeInstance client(nullptr, 0);
  DdeConv conv = client.Connect("Plant", "Line1");
  ASSERT_NE(conv, 0u);
  EXPECT_TRUE(client.ClientTransaction(conv, XTYP_EXECUTE, "", CF_TEXT, "ok", 5000));
}

TEST(DdeExchange, SocketOfAGoneProcessIsRemovedOnSight) {
  DdeFolderScope scope;
  { DdeInstance prepare(nullptr, 0); }  // makes the folder
  pid_t child = fork();
  if (child == 0) {
    DdeInstance instance(nullptr, 0);
    _exit(instance.RegisterService("Ghost") ? 0 : 1);  // no clean-up
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  std::string path = scope.Folder() + "/Ghost@" + std::to_string(child) + ".sock";
  ASSERT_EQ(access(path.c_str(), F_OK), 0);
  EXPECT_TRUE(FindDdeSockets(scope.Folder(), "").empty());
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

TEST(DdeExchange, AnotherUserCannotConnect) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as nobody";
  DdeFolderScope scope;
  PlantServer plant;
  DdeThread server(plant.Callback(), Register("Plant"));
  std::string path = FindDdeSockets(scope.Folder(), "Plant").at(0).path;

  // As nobody, through the modes as made, and again with the folder and the
  // socket opened up: then the peer check refuses the connection.
  for (bool openedUp : {false, true}) {
    if (openedUp) {
      chmod(scope.Parent().c_str(), 0755);
      chmod(scope.Folder().c_str(), 0755);
      chmod(path.c_str(), 0666);
    }
    pid_t child = fork();
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
      int fd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::strcpy(addr.sun_path, path.c_str());
      if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) _exit(2);
      DdeFrame hello;
      hello.kind = DdeFrameKind::Hello;
      hello.name1 = "Line1";
      std::string bytes = EncodeDdeFrame(hello);
      (void)!send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      char c;
      _exit(read(fd, &c, 1) > 0 ? 0 : 3);  // an answer would mean it was let in
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), openedUp ? 3 : 2);
  }
  EXPECT_FALSE(plant.Saw(XTYP_CONNECT));
}

TEST(DdeExchange, StringHandlesAreCountedCaseInsensitiveAtoms) {
  DdeFolderScope scope;
  DdeInstance instance(nullptr, 0);
  DdeStringHandle signal = instance.CreateStringHandle("Signal");
  EXPECT_EQ(instance.CreateStringHandle("SIGNAL"), signal);
  EXPECT_NE(instance.CreateStringHandle("Result"), signal);
  EXPECT_EQ(instance.QueryString(signal), "Signal");
  EXPECT_TRUE(instance.FreeStringHandle(signal));
  EXPECT_EQ(instance.QueryString(signal), "Signal");  // one reference left
  EXPECT_TRUE(instance.FreeStringHandle(signal));
  EXPECT_FALSE(instance.QueryString(signal));
  EXPECT_FALSE(instance.FreeStringHandle(signal));
}

TEST(DdeFrame, RoundTripAndSplitDelivery) {
  DdeFrame f;
  f.kind = DdeFrameKind::Transaction;
  f.seq = 7;
  f.type = XTYP_POKE;
  f.format = CF_UNICODETEXT;
  f.value = DDE_FACK;
  f.name1 = "Temp";
  f.data = std::string("a\0b", 3);
  std::string bytes = EncodeDdeFrame(f) + EncodeDdeFrame(f);
  std::string buffer;
  DdeFrame out;
  int complete = 0;
  for (char c : bytes) {
    buffer.push_back(c);
    while (TakeDdeFrame(buffer, out) == DdeFrameStatus::Complete) ++complete;
  }
  EXPECT_EQ(complete, 2);
  EXPECT_EQ(out.data, f.data);
  EXPECT_EQ(out.name1, "Temp");
  EXPECT_EQ(out.format, CF_UNICODETEXT);
  EXPECT_EQ(out.seq, 7u);
}

}  // namespace
}  // namespace meldrix
