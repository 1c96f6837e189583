#include <gtest/gtest.h>

#include <map>

#include "opc/OpcBridgeLine.h"
#include "opc/OpcEndpoint.h"
#include "opc/OpcItemInfo.h"
#include "util/DateTimeTestSupport.h"

namespace meldrix::testing {
namespace {

TEST(OpcBridgeLineTest, FieldsWithSeparatorsAndEscapesSurviveTheLine) {
  const std::vector<std::string> fields{"", "a\tb", "line\r\nnext", "back\\slash\\t", "\xFC", ""};
  const std::string line = JoinBridgeFields(fields);
  ASSERT_EQ(line.find('\n'), line.size() - 1);
  EXPECT_EQ(SplitBridgeLine(line.substr(0, line.size() - 1)), fields);
  // A lone trailing backslash is kept as it is.
  EXPECT_EQ(SplitBridgeLine("a\\"), (std::vector<std::string>{"a\\"}));
}

TEST(OpcItemInfoTest, StatusSeverityGivesTheDaQuality) {
  const std::vector<std::pair<std::string, std::uint16_t>> cases{
      {"0", 0xC0},        {"96000", 0xC0},    {"40000000", 0x40}, {"408F0000", 0x40},
      {"80000000", 0x00}, {"80340000", 0x00}, {"C0000000", 0x00}, {"", 0x00}, {"zz", 0x00}};
  for (const auto& [status, quality] : cases)
    EXPECT_EQ(OpcQualityFromStatus(ParseOpcStatus(status)), quality) << status;
}

class OpcTimeStampTest : public FixedTimeTest {};

TEST_F(OpcTimeStampTest, UtcBecomesLocalAndMissingOrAncientTimesBecomeNow) {
  // 15 May 2024 08:00:00.250 UTC in the fixed zone two hours east.
  const std::int64_t ms = UtcSeconds(2024, 5, 15, 8) * 1000 + 250;
  const DateTime local = OpcTimeStampFromUtcMs(std::to_string(ms));
  EXPECT_EQ(Show(local), "2024-05-15 10:00:00");
  EXPECT_EQ(local.Fields()->millisecond, 250);
  const std::string now = "2024-05-15 12:20:30";
  EXPECT_EQ(Show(OpcTimeStampFromUtcMs("")), now);
  EXPECT_EQ(Show(OpcTimeStampFromUtcMs(std::to_string(UtcSeconds(1601, 1, 1) * 1000))), now);
  EXPECT_EQ(Show(OpcTimeStampFromUtcMs("12x")), now);
  EXPECT_EQ(Show(OpcTimeStampFromUtcMs(std::to_string(UtcSeconds(1900, 1, 1) * 1000))), "1900-01-01 02:00:00");
}

TEST(OpcEndpointTest, NamesLeadToUrlsWithNodeAndSecurity) {
  const std::map<std::string, std::string> section{
      {"Sim", "opc.tcp://plc1:4840/UA/Sim"}, {"Six", "opc.tcp://[fe80::1]:4841"},
      {"SecurityMode", "Sign"},              {"SecurityPolicy", "Basic256Sha256"},
      {"Sim.SecurityMode", "SignAndEncrypt"}, {"Sim.UserName", "op"}, {"Password", "secret"}};
  const ConfigValueReader config = [&](const std::string& s, const std::string& k) {
    auto it = section.find(k);
    return s == "OPC" && it != section.end() ? it->second : std::string();
  };
  const std::vector<std::tuple<std::string, std::string, std::string>> urls{
      {"Sim", "", "opc.tcp://plc1:4840/UA/Sim"},
      {"Sim", "plc2", "opc.tcp://plc2:4840/UA/Sim"},
      {"Sim", "plc2:5000", "opc.tcp://plc2:5000/UA/Sim"},
      {"Sim", "[::1]", "opc.tcp://[::1]:4840/UA/Sim"},
      {"Six", "host", "opc.tcp://host:4841"},
      {"opc.tcp://gateway:4840", "", "opc.tcp://gateway:4840"},
      {"OPC.TCP://gw/x", "plc9", "OPC.TCP://plc9/x"},
  };
  for (const auto& [server, node, url] : urls) {
    const auto endpoint = ResolveOpcEndpoint(config, server, node);
    ASSERT_TRUE(endpoint) << server;
    EXPECT_EQ(endpoint->url, url) << server << " @ " << node;
  }
  EXPECT_FALSE(ResolveOpcEndpoint(config, "Matrikon.OPC.Simulation", ""));
  EXPECT_FALSE(ResolveOpcEndpoint(nullptr, "Sim", ""));

  const auto sim = *ResolveOpcEndpoint(config, "Sim", "");
  EXPECT_EQ(sim.securityMode, "SignAndEncrypt");  // its own key first
  EXPECT_EQ(sim.securityPolicy, "Basic256Sha256");
  EXPECT_EQ(sim.userName, "op");
  EXPECT_EQ(sim.password, "secret");
  EXPECT_EQ(ResolveOpcEndpoint(config, "Six", "")->userName, "");
}

}  // namespace
}  // namespace meldrix::testing
