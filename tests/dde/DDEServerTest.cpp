// The DDE framework: topics, items, the System topic, advise lists, and the
// client side with its conversation cache, against servers on other threads
// and in the own instance.
#include <gtest/gtest.h>

#include "dde/DDEServer.h"
#include "dde/DDEValueAccess.h"
#include "dde/DdeTestSupport.h"

namespace meldrix {
namespace {

using testing::DdeFolderScope;

// Topics "Line1" and "Result"; "Line1" holds the string item "Temp", the
// read-only "Id", "Empty" that answers with no bytes and "WideOnly" that
// takes pokes only as CF_UNICODETEXT.
class EmptyItem : public CDDEItem {
 public:
  bool Request(std::uint16_t, std::string& data) override {
    data.clear();
    return true;
  }
  std::vector<std::uint16_t> GetFormatList() const override { return {CF_TEXT}; }
};

class WideOnlyItem : public CDDEStringItem {
 public:
  bool Poke(std::uint16_t format, const std::string& data) override {
    return format == CF_UNICODETEXT && CDDEStringItem::Poke(format, data);
  }
};

class PlantServer : public CDDEServer {
 public:
  PlantServer() {
    line1.Create("Line1");
    result.Create("Result");
    temp.Create("Temp");
    id.Create("Id", true);
    empty.Create("Empty");
    wide.Create("WideOnly");
    temp.SetValue("21.5");
    id.SetValue("7");
    for (CDDEItem* item : std::initializer_list<CDDEItem*>{&temp, &id, &empty, &wide})
      line1.AddItem(item);
  }
  bool OnCreate() override {
    AddTopic(&line1);
    AddTopic(&result);
    return true;
  }
  CDDETopic line1, result;
  CDDEStringItem temp, id;
  EmptyItem empty;
  WideOnlyItem wide;
};

// The plant server "Plant", made and pumped on a thread of its own.
std::unique_ptr<testing::PumpThread<PlantServer>> PlantThread() {
  return std::make_unique<testing::PumpThread<PlantServer>>([] {
    auto server = std::make_unique<PlantServer>();
    EXPECT_TRUE(server->Create("Plant"));
    return server;
  });
}

TEST(DDEServer, SystemTopicListsTopicsItemsAndFormats) {
  DdeFolderScope scope;
  PlantServer server;
  ASSERT_TRUE(server.Create("Plant"));
  // A conversation with the own service: names match regardless of case.
  for (auto [item, expected] : {std::pair{"Topics", "System\tLine1\tResult"},
                                 {"sysitems", "TopicItemList\tFormats\tTopics\tSysItems"},
                                 {"TopicItemList", "TopicItemList\tFormats\tTopics\tSysItems"},
                                 {"Formats", "TEXT\tUNICODETEXT"}}) {
    std::string value;
    EXPECT_TRUE(DDERequestValue("Plant", "system", item, value)) << item;
    EXPECT_EQ(value, expected);
  }
  std::vector<DdeServiceTopic> pairs = server.Instance()->WildConnect("", "");
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[1].topic, "Line1");
  EXPECT_EQ(pairs[2].service, "Plant");
}

TEST(DDEServer, StringItemsPokesAndAdvises) {
  DdeFolderScope scope;
  auto plant = PlantThread();

  // A raw client on this thread counts the advise data it gets.
  std::vector<std::string> advised;
  DdeInstance client(
      [&](const DdeTransaction& t) {
        if (t.type == XTYP_ADVDATA) advised.push_back(t.data.substr(0, t.data.find('\0')));
        return DdeAnswer{DDE_FACK, {}, {}};
      },
      0);
  DdeConv conv = client.Connect("Plant", "line1");
  ASSERT_NE(conv, 0u);
  ASSERT_TRUE(client.ClientTransaction(conv, XTYP_ADVSTART, "temp", CF_TEXT, "", 5000));
  plant->Run([](PlantServer& s) { EXPECT_EQ(s.temp.GetAdviseList().size(), 1u); });

  auto pumpClient = [&] {
    for (int i = 0; i < 20; ++i) {
      pollfd fd{client.Descriptor(), POLLIN, 0};
      poll(&fd, 1, 10);
      client.Pump();
    }
  };
  plant->Run([](PlantServer& s) { s.temp.SetValue("21.5"); });  // unchanged: no advise
  pumpClient();
  EXPECT_TRUE(advised.empty());
  plant->Run([](PlantServer& s) { s.temp.SetValue("23"); });
  pumpClient();
  ASSERT_EQ(advised.size(), 1u);
  EXPECT_EQ(advised[0], "23");

  // A Unicode poke sets the ANSI value too, and is advised.
  std::string wide = DdeTextData("Gr\xFCn", CF_UNICODETEXT);
  EXPECT_TRUE(client.ClientTransaction(conv, XTYP_POKE, "Temp", CF_UNICODETEXT, wide, 5000));
  pumpClient();
  plant->Run([](PlantServer& s) { EXPECT_EQ(s.temp.GetValue(), "Gr\xFCn"); });
  ASSERT_EQ(advised.size(), 2u);
  EXPECT_EQ(advised[1], "Gr\xFCn");
  std::string data;
  EXPECT_TRUE(client.ClientTransaction(conv, XTYP_REQUEST, "Temp", CF_UNICODETEXT, "", 5000, &data));
  EXPECT_EQ(data, wide);

  // Refused: another format, a read-only item, an unknown item.
  EXPECT_FALSE(client.ClientTransaction(conv, XTYP_POKE, "Temp", 2, "x", 5000));
  EXPECT_FALSE(client.ClientTransaction(conv, XTYP_POKE, "Id", CF_TEXT, "8", 5000));
  EXPECT_FALSE(client.ClientTransaction(conv, XTYP_REQUEST, "Nope", CF_TEXT, "", 5000));
  EXPECT_EQ(client.GetLastError(), DMLERR_NOTPROCESSED);
  EXPECT_FALSE(client.ClientTransaction(conv, XTYP_EXECUTE, "", CF_TEXT, "x", 5000));

  // A stopped loop hears no more; the server forgets the loop of a client that
  // goes away.
  ASSERT_TRUE(client.ClientTransaction(conv, XTYP_ADVSTOP, "TEMP", CF_TEXT, "", 5000));
  plant->Run([](PlantServer& s) {
    EXPECT_TRUE(s.temp.GetAdviseList().empty());
    s.temp.SetValue("24");
  });
  pumpClient();
  EXPECT_EQ(advised.size(), 2u);
  ASSERT_TRUE(client.ClientTransaction(conv, XTYP_ADVSTART, "Temp", CF_TEXT, "", 5000));
  client.Disconnect(conv);
  EXPECT_TRUE(testing::WaitUntil([&] {
    bool empty = false;
    plant->Run([&](PlantServer& s) { empty = s.temp.GetAdviseList().empty(); });
    return empty;
  }));
}

TEST(DDEServer, NumericItemText) {
  CDDENumericItem item;
  item.Create("Result");
  item.SetNumber(0);
  EXPECT_EQ(item.GetValue(), "0");
  for (auto [text, number] : {std::pair{"12", 12L}, {"0x1F", 31L}, {"010", 8L}, {"-3", -3L}, {"abc", 0L}}) {
    item.SetValue(text);
    EXPECT_EQ(item.GetNumber(), number) << text;
  }
}

TEST(DDEClient, OneShotCacheReconnectsAndFallsBack) {
  DdeFolderScope scope;
  auto plant = PlantThread();
  CDDEServer client;
  ASSERT_TRUE(client.Create({}, APPCMD_CLIENTONLY));

  std::string value;
  EXPECT_TRUE(DDERequestValue("Plant", "Line1", "Temp", value));
  EXPECT_TRUE(DDERequestValue("Plant", "Line1", "Temp", value));
  EXPECT_EQ(value, "21.5");
  EXPECT_EQ(client.GetConvCache().Size(), 1u);
  // Names in the cache are compared exactly: another spelling, another entry.
  EXPECT_TRUE(DDERequestValue("PLANT", "Line1", "Temp", value));
  EXPECT_EQ(client.GetConvCache().Size(), 2u);

  // No bytes: false, the value stays, the conversation stays cached.
  value = "before";
  EXPECT_FALSE(DDERequestValue("Plant", "Line1", "Empty", value));
  EXPECT_EQ(value, "before");
  EXPECT_EQ(client.GetConvCache().Size(), 2u);

  // Refused as CF_TEXT, taken as CF_UNICODETEXT.
  EXPECT_TRUE(DDEPokeValue("Plant", "Line1", "WideOnly", "\xE9t\xE9"));
  plant->Run([](PlantServer& s) { EXPECT_EQ(s.wide.GetValue(), "\xE9t\xE9"); });

  EXPECT_FALSE(DDEPokeValue("Plant", "Line1", "Id", "9"));
  EXPECT_EQ(DdeOneShotError(), DMLERR_NOTPROCESSED);
  EXPECT_FALSE(DDEExecuteCommand("Plant", "Line1", "[go]"));
  EXPECT_EQ(DdeOneShotError(), DMLERR_NOTPROCESSED);

  // The server goes away and comes back: the cached conversation fails, is
  // dropped, and a fresh one answers.
  plant.reset();
  plant = PlantThread();
  EXPECT_TRUE(DDERequestValue("Plant", "Line1", "Temp", value));
  EXPECT_EQ(value, "21.5");

  plant.reset();
  EXPECT_FALSE(DDERequestValue("Plant", "Line1", "Temp", value));
  EXPECT_EQ(DdeOneShotError(), DMLERR_NO_CONV_ESTABLISHED);
}

TEST(DDEClient, ValueAccessOnAThreadWithoutInstance) {
  DdeFolderScope scope;
  auto plant = PlantThread();
  CDDEValueAccess access;
  std::string value;
  std::thread([&] {
    EXPECT_TRUE(access.RequestValue("Plant", "Line1", "Temp", value));
    EXPECT_TRUE(access.PokeValue("Plant", "Line1", "Temp", "30"));
    EXPECT_FALSE(access.RequestValue("Plant", "Line1", "Nope", value));
    EXPECT_EQ(access.LastDdeError(), DMLERR_NOTPROCESSED);
    // Its own instance keeps the conversation.
    EXPECT_NE(CDDEServer::FindByThread(), nullptr);
  }).join();
  plant->Run([](PlantServer& s) { EXPECT_EQ(s.temp.GetValue(), "30"); });
  EXPECT_FALSE(access.ExecuteCommand("Nobody", "Line1", "[x]"));
  EXPECT_EQ(access.LastDdeError(), DMLERR_NO_CONV_ESTABLISHED);
}

// Servers keep a table of their own besides the exchange's instance slots;
// both are full at twenty, and a freed place can be taken again.
TEST(DDEServer, TwentyInstancesAtMost) {
  DdeFolderScope scope;
  std::vector<std::unique_ptr<CDDEServer>> servers;
  for (int i = 0; i < CDDEServer::kMaxInstances; ++i) {
    servers.push_back(std::make_unique<CDDEServer>());
    ASSERT_TRUE(servers.back()->Create({}, APPCMD_CLIENTONLY)) << i;
  }
  CDDEServer extra;
  EXPECT_FALSE(extra.Create({}, APPCMD_CLIENTONLY));
  EXPECT_FALSE(DdeInstance(nullptr, 0).Initialized());
  servers.pop_back();
  CDDEServer again;
  EXPECT_TRUE(again.Create({}, APPCMD_CLIENTONLY));
}

}  // namespace
}  // namespace meldrix
