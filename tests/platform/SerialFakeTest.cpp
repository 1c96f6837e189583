#include "platform/Env.h"
#include "platform/SerialFake.h"

#include <gtest/gtest.h>

using namespace meldrix;

namespace {

SerParamBlock Block(std::uint16_t port, std::uint32_t send = 8) {
  SerPortParams p;
  p.port = port;
  p.sendBufferSize = send;
  return p.ToBlock();
}

}  // namespace

TEST(FakeSerialLibrary, BehavesLikeAPortForTheCallers) {
  auto fake = std::make_shared<FakeSerialLibrary>();
  ScopedEnv env(Env{.serial = fake});
  ISerialLibrary& lib = SerialLibrary();
  std::uint32_t error = 1;
  SerHandle h = lib.SerOpen(Block(2).data(), &error);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(error, SER_OK);
  EXPECT_EQ(fake->OpenedWith(2)->port, 2);
  EXPECT_EQ(lib.SerOpen(Block(2).data(), &error), 0u);
  EXPECT_EQ(error, SER_ERR_PORT_IN_USE);
  EXPECT_EQ(lib.SerControl(h, SER_CONTROL_LINES_ON), SER_OK);
  EXPECT_EQ(fake->Controls(2), std::vector<std::uint32_t>{2});
  fake->Receive(2, "ab");
  EXPECT_EQ(lib.SerReceiveReady(h), 2u);
  EXPECT_EQ(lib.SerReceiveChar(h), 'a');
  lib.SerReceiveFlush(h);
  EXPECT_EQ(lib.SerReceiveReady(h), 0u);
  EXPECT_EQ(fake->ReceiveFlushes(2), 1u);
  EXPECT_EQ(lib.SerSendChar(h, 0x06), 1);
  fake->SetStalled(2, true);
  EXPECT_TRUE(lib.SerState(h) & SER_STATE_CANNOT_SEND);
  EXPECT_EQ(lib.SerSendBuffer(h, "12345", 5), 5u);
  EXPECT_EQ(lib.SerSendReady(h), 3u);
  EXPECT_EQ(lib.SerSendBuffer(h, "6789", 4), 0u);
  EXPECT_EQ(fake->Sent(2), "\x06");
  fake->SetStalled(2, false);
  EXPECT_EQ(fake->Sent(2), "\x06" "12345");
  lib.SerClose(h);
  EXPECT_FALSE(fake->IsOpen(2));
  fake->SetOpenError(2, SER_ERR_NOT_AVAILABLE);
  EXPECT_EQ(lib.SerOpen(Block(2).data(), &error), 0u);
  EXPECT_EQ(error, SER_ERR_NOT_AVAILABLE);
  EXPECT_EQ(lib.SerOpen(Block(0).data(), &error), 0u);
  EXPECT_EQ(error, SER_ERR_INVALID_PORT);
}
