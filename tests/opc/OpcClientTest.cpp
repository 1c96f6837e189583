#include <gtest/gtest.h>

#include <unistd.h>

#include <map>
#include <thread>

#include "expr/DataValueStorage.h"
#include "opc/OpcClient.h"
#include "support/OpcFakeBridge.h"

namespace meldrix::testing {
namespace {

using Fields = std::vector<std::string>;

ConfigValueReader SimSection() {
  return [](const std::string& section, const std::string& key) {
    return section == "OPC" && key == "Sim" ? std::string("opc.tcp://plc1:4840") : std::string();
  };
}

class OpcClientTest : public ::testing::Test {
 protected:
  OpcClientTest() { client_.SetConfiguration(SimSection()); }

  std::string Read(const std::string& item, const std::string& server = "Sim") {
    std::string value;
    return client_.ReadValue(server, "", item, value) ? value : "FAILED: " + client_.LastErrorText();
  }
  std::string Key(const std::string& server = "Sim") const {
    return COpcClient::ConnectionKey(static_cast<unsigned long>(::gettid()), server, "");
  }
  // The handle the client gave the item when it added it.
  std::string HandleOf(const std::string& item) const {
    for (const auto& r : bridge_.RequestsOf("add"))
      if (r[3] == item) return r[2];
    return "";
  }

  OpcFakeBridge bridge_;
  COpcClient client_{bridge_.Launcher()};
};

TEST_F(OpcClientTest, FirstReadFromTheDeviceLaterOnesFromDataChanges) {
  std::string value;
  std::uint16_t quality = 0;
  DateTime time;
  ASSERT_TRUE(client_.ReadValue("Sim", "", "ns=2;s=Temp", value, quality, time)) << client_.LastErrorText();
  EXPECT_EQ(value, "7");
  EXPECT_EQ(quality, 0xC0);
  EXPECT_TRUE(time.IsValid());
  EXPECT_EQ(bridge_.Requests(),
            (std::vector<Fields>{{"connect", Key(), "opc.tcp://plc1:4840", "1000", "", "", "", "", "", ""},
                                 {"add", Key(), HandleOf("ns=2;s=Temp"), "ns=2;s=Temp"},
                                 {"read", Key(), HandleOf("ns=2;s=Temp")}}));

  // The device value is cached: no second device read.
  EXPECT_EQ(Read("ns=2;s=Temp"), "7");
  EXPECT_EQ(bridge_.RequestsOf("read").size(), 1u);

  // Data changes replace it, with quality; one for a handle nobody has is ignored.
  bridge_.Push({"change", Key(), HandleOf("ns=2;s=Temp"), "3.5", "40000000", "1700000001000"});
  bridge_.Push({"change", Key(), "99999", "bogus", "0", ""});
  bridge_.Push({"change", "00000001:Sim@.", HandleOf("ns=2;s=Temp"), "other thread", "0", ""});
  ASSERT_TRUE(WaitUntil([&] { return Read("ns=2;s=Temp") == "3.5"; }));
  ASSERT_TRUE(client_.ReadValue("Sim", "", "ns=2;s=Temp", value, quality, time));
  EXPECT_EQ(quality, 0x40);
  EXPECT_EQ(bridge_.RequestsOf("read").size(), 1u);
  EXPECT_EQ(bridge_.RequestsOf("connect").size(), 1u);
}

TEST_F(OpcClientTest, TextsCrossTheBridgeAsUtf8AndComeBackAsWindows1252) {
  bridge_.SetScript(OpcFakeBridge::DefaultScript("Kessel S\xC3\xBC" "d"));
  EXPECT_EQ(Read("Plant.K\xFC" "hler"), "Kessel S\xFC" "d");
  EXPECT_EQ(HandleOf("Plant.K\xC3\xBChler").empty(), false);
  ASSERT_TRUE(client_.WriteValue("Sim", "", "ns=1;s=Text", "Gr\xFC\xDF" "e\tTab"));
  EXPECT_EQ(bridge_.RequestsOf("write").back().back(), "Gr\xC3\xBC\xC3\x9F" "e\tTab");
}

TEST_F(OpcClientTest, ConnectionsAreKeyedByThreadServerAndNode) {
  EXPECT_EQ(COpcClient::ConnectionKey(0x1A2B, "Sim", ""), "00001A2B:Sim@.");
  EXPECT_EQ(COpcClient::ConnectionKey(0x123456789, "Sim", "plc2"), "123456789:Sim@plc2");
  std::string value;
  ASSERT_TRUE(client_.ReadValue("Sim", "", "a", value));
  ASSERT_TRUE(client_.ReadValue("Sim", "plc2", "a", value));
  std::thread([&] { std::string v; client_.ReadValue("Sim", "", "a", v); }).join();
  ASSERT_TRUE(client_.ReadValue("Sim", "", "b", value));
  const auto connects = bridge_.RequestsOf("connect");
  ASSERT_EQ(connects.size(), 3u);
  EXPECT_EQ(connects[1][2], "opc.tcp://plc2:4840");
  EXPECT_NE(connects[2][1], connects[0][1]);
  EXPECT_EQ(connects[2][1].substr(8), ":Sim@.");
  // Every item added gets the next handle of one counter.
  const auto adds = bridge_.RequestsOf("add");
  ASSERT_EQ(adds.size(), 4u);
  for (std::size_t i = 1; i < adds.size(); ++i) EXPECT_GT(std::stoul(adds[i][2]), std::stoul(adds[i - 1][2]));
  EXPECT_EQ(bridge_.Launches(), 1);
}

TEST_F(OpcClientTest, EveryFailureHasItsText) {
  using Reply = std::optional<Fields>;
  const std::vector<std::tuple<std::string, std::function<Reply(const Fields&)>, std::string, std::string>> cases{
      {"unknown server", nullptr, "Nowhere", "FAILED: Could not connect to server 'Nowhere'"},
      {"refused", [](const Fields& r) -> Reply { return r[0] == "connect" ? Fields{"err", "connect", "ECONNREFUSED"} : Fields{"ok"}; },
       "Sim", "FAILED: Could not connect to server 'Sim'"},
      {"no subscription", [](const Fields& r) -> Reply { return r[0] == "connect" ? Fields{"err", "groups", "x"} : Fields{"ok"}; },
       "Sim", "FAILED: Could not get groups"},
      {"no such item", [](const Fields& r) -> Reply { return r[0] == "add" ? Fields{"err", "unknown", ""} : Fields{"ok"}; },
       "Sim", "FAILED: Unknown:Line1.Nope"},
      {"no such node", [](const Fields& r) -> Reply { return r[0] == "add" ? Fields{"err", "unknown", "ns=2;s=X"} : Fields{"ok"}; },
       "Sim", "FAILED: Unknown:ns=2;s=X"},
      {"bad status", [](const Fields& r) -> Reply {
         return r[0] == "read" ? Fields{"err", "status", "BadNotReadable"} : r[0] == "add" ? Fields{"ok", "n"} : Fields{"ok"}; },
       "Sim", "FAILED: BadNotReadable"},
  };
  for (const auto& [what, script, server, expected] : cases) {
    OpcFakeBridge bridge(script ? OpcFakeBridge::Script(script) : OpcFakeBridge::Script());
    COpcClient client(bridge.Launcher());
    client.SetConfiguration(SimSection());
    std::string value;
    const bool ok = client.ReadValue(server, "", "Line1.Nope", value);
    EXPECT_EQ(ok ? value : "FAILED: " + client.LastErrorText(), expected) << what;
    EXPECT_EQ(client.LastError(), ok ? 0u : kOpcErrorFail) << what;
  }

  // A bridge that cannot be started, or ends before it is ready.
  for (bool starts : {false, true}) {
    OpcFakeBridge bridge;
    bridge.SetCanStart(starts);
    bridge.SetEndsAtStart(true);
    COpcClient client(bridge.Launcher());
    client.SetConfiguration(SimSection());
    std::string value;
    EXPECT_FALSE(client.ReadValue("Sim", "", "x", value));
    EXPECT_EQ(client.LastErrorText(), "Could not load OPC.Automation");
    EXPECT_EQ(client.LastError(), kOpcErrorNotLoaded);
  }
}

TEST_F(OpcClientTest, FailuresReachTheExpressionsWithTheClientText) {
  auto client = std::make_shared<COpcClient>(bridge_.Launcher());
  bridge_.SetScript([](const Fields& r) -> std::optional<Fields> {
    if (r[0] == "write") return Fields{"err", "convert", "'abc' is no number"};
    return r[0] == "add" ? Fields{"err", "unknown", ""} : Fields{"ok"};
  });
  CDataValueStorage store(true, nullptr, client);
  std::string value;
  EXPECT_FALSE(store.Get("OPC('Sim','Tag')", value));
  EXPECT_EQ(store.LastError(), "Der Wert OPC('Sim','Tag') konnte nicht gelesen werden, Could not connect to server 'Sim'");
  client->SetConfiguration(SimSection());
  EXPECT_FALSE(store.Get("OPC('Sim','Tag')", value));
  EXPECT_EQ(store.LastError(), "Der Wert OPC('Sim','Tag') konnte nicht gelesen werden, Unknown:Tag");
  bridge_.SetScript(OpcFakeBridge::DefaultScript());
  store.SetRouted("\"Sim::ns=1;s=SP\"", "abc");
  EXPECT_EQ(bridge_.RequestsOf("write").back(), (Fields{"write", Key(), HandleOf("ns=1;s=SP"), "abc"}));
}

TEST_F(OpcClientTest, LostSessionsAndEndedBridgesAreReconnectedInPlace) {
  ASSERT_EQ(Read("a"), "7");
  const std::string handle = HandleOf("a");

  // The server went away: reads fail until it is back.
  bridge_.SetScript([](const Fields& r) -> std::optional<Fields> {
    return r[0] == "connect" ? Fields{"err", "connect", "refused"} : Fields{"err", "lost", "not connected"};
  });
  bridge_.Push({"lost", Key()});
  ASSERT_TRUE(WaitUntil([&] { return Read("a") == "FAILED: Could not connect to server 'Sim'"; }));
  bridge_.SetScript(OpcFakeBridge::DefaultScript("8"));
  EXPECT_EQ(Read("a"), "8");  // from the device: the old value is not served as current
  // The item joined the new session under its handle.
  EXPECT_EQ(bridge_.Requests().back(), (Fields{"read", Key(), handle}));
  EXPECT_EQ(bridge_.RequestsOf("add").back(), (Fields{"add", Key(), handle, "a"}));

  // The bridge ends: the next use starts another one and connects again.
  bridge_.End();
  bridge_.SetScript(OpcFakeBridge::DefaultScript("9"));
  EXPECT_EQ(Read("a"), "9");
  EXPECT_EQ(bridge_.Launches(), 2);

  // A bridge that sends an endless line is dropped as well.
  bridge_.SendRaw(std::string(kOpcBridgeMaxLine + 10, 'x'));
  bridge_.SetScript(OpcFakeBridge::DefaultScript("10"));
  ASSERT_TRUE(WaitUntil([&] { return Read("a") == "10"; }));
  EXPECT_EQ(bridge_.Launches(), 3);
}

}  // namespace
}  // namespace meldrix::testing

namespace meldrix::testing {
namespace {

// A read the bridge does not answer fails after the request limit; when the
// bridge then does not even answer a ping, it is replaced at the next use.
TEST_F(OpcClientTest, UnansweredRequestsAreBoundedAndAHungBridgeIsReplaced) {
  bridge_.SetScript([](const Fields& r) -> std::optional<Fields> {
    if (r[0] == "read" || r[0] == "ping") return std::nullopt;
    return r[0] == "add" ? Fields{"ok", "n"} : Fields{"ok"};
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Read("a"), "FAILED: No answer from the OPC UA bridge in time");
  EXPECT_EQ(client_.LastError(), kOpcErrorTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  bridge_.SetScript(OpcFakeBridge::DefaultScript("5"));
  EXPECT_EQ(Read("a"), "5");
  EXPECT_EQ(bridge_.Launches(), 2);
}

}  // namespace
}  // namespace meldrix::testing
