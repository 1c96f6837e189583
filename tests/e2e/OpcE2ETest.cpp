#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/E2eHarness.h"
#include "support/OpcTestServer.h"

namespace meldrix::testing {
namespace {

// Texts that read and write OPC UA values reach Korvane with the server's
// values: first from the device, later ones from the cache that data changes
// keep current; a stopped server gives the read error, a restarted one is
// reconnected.
TEST(OpcE2eTest, ValuesReadWrittenLostAndReconnected) {
  ASSERT_TRUE(std::filesystem::exists(OpcNodeModules())) << "run scripts/install-deps first";
  E2eSetup setup;
  auto server = std::make_unique<OpcTestServer>();
  const int port = server->Port();
  setup.WriteConfig(
      "[Settings]\nAutoActivate=1\n" + setup.DropSource() + "[OPC]\nSim=" + server->Url() +
      "\n[Message1]\nName=Read\nReceiver=4711\nLeftTrigger=read\n"
      "Text=C={{OPC('Sim','ns=1;s=Counter')}} T={{OPC('Sim','Plant.Line1.Temp')}} "
      "N={{VAR('\"Sim@localhost::ns=1;s=Name\"')}} L={{OPC('Sim','ns=1;s=Levels')}} "
      "R={{OPC('Sim','ns=1;s=Ratio')}} F={{CONCAT(OPC('Sim','ns=1;s=Flag'), ' E=', $ERROR)}}\n"
      "[Message2]\nName=Set\nReceiver=4711\nLeftTrigger=set\n"
      "Text=S={{OPC('Sim','ns=1;s=SetPoint') := 12.75; CONCAT(OPC('Sim','ns=1;s=SetPoint'), ' E=', $ERROR)}}\n"
      "[Message3]\nName=Count\nReceiver=4711\nLeftTrigger=count\n"
      "Text=C={{CONCAT(OPC('Sim','ns=1;s=Counter'), ' E=', $ERROR)}}\n"
      "[Message4]\nName=Bad\nReceiver=4711\nLeftTrigger=bad\n"
      "Text=X={{CONCAT(OPC('Sim','Plant.Nope'), ' E=', $ERROR)}} W={{OPC('Sim','ns=1;s=SetPoint') := 'abc'; CONCAT(' E=', $ERROR)}}\n");
  MeldrixProcess meldrix(setup.DataFolder(), setup.RuntimeFolder(), {"-HIDE"});
  ASSERT_TRUE(setup.WaitForCommand("[check(Meldrix)]")) << meldrix.Output() << meldrix.Errors();

  int dropped = 0;
  // Drops `text` until a command containing `expected` was sent (at most `tries` times).
  auto sendUntil = [&](const std::string& text, const std::string& expected, int tries = 1) {
    for (int i = 0; i < tries; ++i) {
      setup.DropFile("in/" + std::to_string(++dropped) + ".txt", text + "\r\n");
      if (WaitUntil([&] { return !setup.SentCommands(expected).empty(); }, std::chrono::seconds(tries > 1 ? 2 : 20)))
        return true;
    }
    return false;
  };

  EXPECT_TRUE(sendUntil("read", "|C=42 T=21.5 N=Kessel Süd L=?ARRAY? R=0.1 F=-1 E=|")) << meldrix.Output();
  EXPECT_TRUE(sendUntil("set", "|S=12.75 E=|")) << meldrix.Output();
  EXPECT_EQ(server->Get("SetPoint"), "12.75");
  EXPECT_TRUE(sendUntil("bad",
                        "|X= E=Der Wert OPC('Sim','Plant.Nope') konnte nicht gelesen werden, Unknown:Plant.Nope W= "
                        "E=Der Wert OPC('Sim','ns=1;s=SetPoint') konnte nicht gesetzt werden, 'abc' is no number|"))
      << meldrix.Output();

  // A change on the server reaches a later message through the data changes.
  ASSERT_TRUE(server->Set("Counter", "43"));
  EXPECT_TRUE(sendUntil("count", "|C=43 E=|", 10)) << meldrix.Output();

  server.reset();
  EXPECT_TRUE(sendUntil("count",
                        "|C= E=Der Wert OPC('Sim','ns=1;s=Counter') konnte nicht gelesen werden, "
                        "Could not connect to server 'Sim'|", 10))
      << meldrix.Output();

  server = std::make_unique<OpcTestServer>(port);
  EXPECT_TRUE(sendUntil("count", "|C=42 E=|", 10)) << meldrix.Output();
  EXPECT_EQ(meldrix.Stop(), 0);
}

}  // namespace
}  // namespace meldrix::testing
