// The decoders on the serial library's port, the way a serial source pumps them.
#include <gtest/gtest.h>

#include "platform/SerialFake.h"
#include "platform/SerialParams.h"
#include "sources/IlperProtocol.h"
#include "sources/SerialProtocolPort.h"
#include "sources/SiedleProtocol.h"

namespace meldrix {
namespace {

class SerialProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SerPortParams params;
    params.port = 3;
    SerParamBlock block = params.ToBlock();
    uint32_t error = 0;
    handle_ = library_.SerOpen(block.data(), &error);
    ASSERT_NE(handle_, 0u) << error;
  }
  std::vector<std::string> Pump(ProtocolDecoder& decoder) {
    SerialProtocolPort port(library_, handle_);
    std::vector<std::string> lines;
    PumpProtocol(port, decoder, [&](std::string line) { lines.push_back(std::move(line)); });
    return lines;
  }

  FakeSerialLibrary library_;
  SerHandle handle_ = 0;
};

TEST_F(SerialProtocolTest, SiedleTelegramIsAcknowledgedOnTheLine) {
  // 01 + 33 + 02 + 41 + 89 = 0x100
  library_.Receive(3, std::string("\x02\x01\x33\x02\x41\x89\x03", 7));
  SiedleProtocol decoder;
  EXPECT_EQ(Pump(decoder), (std::vector<std::string>{"02->01:33:41"}));
  EXPECT_EQ(library_.Sent(3), "\x06");
  EXPECT_EQ(library_.ReceiveFlushes(3), 1u);
}

TEST_F(SerialProtocolTest, IlperTelegramWithWrongChecksumIsRefusedOnTheLine) {
  library_.Receive(3, std::string("\x02" "a\x1e" "b\x1e" "c\x1e" "d\x1e" "e\x03\x00\x00", 14));
  IlperProtocol decoder(IlperProtocol::TimeStamps::Local, nullptr);
  EXPECT_TRUE(Pump(decoder).empty());
  EXPECT_EQ(library_.Sent(3), "\x15");
  EXPECT_EQ(library_.ReceiveFlushes(3), 1u);
}

}  // namespace
}  // namespace meldrix
