#include "platform/SerialTermios.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "platform/SerialParams.h"
#include "support/Files.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

using namespace meldrix;
using meldrix::testing::WaitUntil;
using namespace std::chrono_literals;

namespace {

// A pseudo-terminal standing in for a device on COM7: the library opens the
// slave side through the "Ports" mapping, the test plays the device on the
// master side.
class SerialPty : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[256];
    int slave = -1;
    ASSERT_EQ(::openpty(&master_, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    ::fcntl(master_, F_SETFL, O_NONBLOCK);
    ports_["COM7"] = name;
  }
  void TearDown() override {
    if (master_ >= 0) ::close(master_);
  }
  ConfigValueReader Reader() {
    return [this](const std::string& section, const std::string& key) {
      EXPECT_EQ(section, "Ports");
      auto it = ports_.find(key);
      return it == ports_.end() ? std::string() : it->second;
    };
  }
  static SerParamBlock Block(std::uint16_t port = 7, std::uint8_t handshake = 0,
                             std::uint32_t receive = 4096, std::uint32_t send = 4096) {
    SerPortParams p;
    p.port = port;
    p.handshake = handshake;
    p.receiveBufferSize = receive;
    p.sendBufferSize = send;
    return p.ToBlock();
  }
  SerHandle Open(CTermiosSerialLibrary& lib, const SerParamBlock& block) {
    std::uint32_t error = 99;
    SerHandle h = lib.SerOpen(block.data(), &error);
    EXPECT_EQ(error, SER_OK);
    EXPECT_NE(h, 0u);
    return h;
  }
  void DeviceSends(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // What the device receives, waiting until `count` bytes came or 5 s passed.
  std::string DeviceReceives(size_t count) {
    std::string got;
    WaitUntil([&] {
      char buffer[4096];
      for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;)
        got.append(buffer, static_cast<size_t>(n));
      return got.size() >= count;
    }, 5s, 2ms);
    return got;
  }
  // Reads from the port until `count` bytes came or 5 s passed.
  static std::string PortReceives(ISerialLibrary& lib, SerHandle h, size_t count) {
    std::string got;
    WaitUntil([&] {
      while (lib.SerReceiveReady(h)) got += static_cast<char>(lib.SerReceiveChar(h));
      return got.size() >= count;
    }, 5s, 2ms);
    return got;
  }
  int master_ = -1;
  std::map<std::string, std::string> ports_;
};

}  // namespace

TEST_F(SerialPty, BytesTravelBothWaysUnchanged) {
  CTermiosSerialLibrary lib(Reader());
  SerHandle h = Open(lib, Block());
  EXPECT_EQ(lib.SerControl(h, SER_CONTROL_LINES_ON), SER_OK);
  const std::string telegram("\x02" "Alarm\r\n\x00\x7F\x80\xFF\x11\x13\x03", 15);
  DeviceSends(telegram);
  EXPECT_EQ(PortReceives(lib, h, telegram.size()), telegram);
  EXPECT_EQ(lib.SerReceiveReady(h), 0u);
  EXPECT_EQ(lib.SerReceiveChar(h), -1) << "nothing waits";
  EXPECT_EQ(lib.SerSendChar(h, 0x06), 1);
  const std::string reply("Quittung\r\n\x00\xFF", 12);
  EXPECT_EQ(lib.SerSendBuffer(h, reply.data(), static_cast<std::uint32_t>(reply.size())), reply.size());
  EXPECT_EQ(lib.SerSendChar(h, 0x15), 1);
  EXPECT_EQ(DeviceReceives(14), "\x06" + reply + "\x15");
  EXPECT_EQ(lib.SerSendReady(h), 4096u);
  EXPECT_EQ(lib.SerState(h) & SER_STATE_CANNOT_SEND, 0u);
  lib.SerClose(h);
}

TEST_F(SerialPty, SmallReceiveBufferLosesNothing) {
  CTermiosSerialLibrary lib(Reader());
  SerHandle h = Open(lib, Block(7, 0, 8, 16));
  std::string data;
  for (int i = 0; i < 300; ++i) data += static_cast<char>('A' + i % 26);
  DeviceSends(data);
  std::this_thread::sleep_for(20ms);
  EXPECT_LE(lib.SerReceiveReady(h), 8u);
  EXPECT_EQ(PortReceives(lib, h, data.size()), data);
}

TEST_F(SerialPty, ReceiveFlushDiscardsWhatWaits) {
  CTermiosSerialLibrary lib(Reader());
  SerHandle h = Open(lib, Block(7, 0, 4, 16));
  DeviceSends("old telegram");
  WaitUntil([&] { return lib.SerReceiveReady(h) != 0; }, 5s, 2ms);
  std::this_thread::sleep_for(20ms);  // the rest reaches the device's input queue
  lib.SerReceiveFlush(h);
  EXPECT_EQ(lib.SerReceiveReady(h), 0u);
  DeviceSends("new");
  EXPECT_EQ(PortReceives(lib, h, 3), "new");
}

TEST_F(SerialPty, XoffHoldsSendingAndXonReleasesItWithoutLoss) {
  CTermiosSerialLibrary lib(Reader());
  SerHandle h = Open(lib, Block(7, 2, 64, 64));
  DeviceSends("\x13");  // XOFF
  // Wait until the stop has reached the line discipline: a byte no longer leaves.
  std::string sent;
  WaitUntil([&] {
    if (lib.SerState(h) & SER_STATE_CANNOT_SEND) return true;
    sent += static_cast<char>(lib.SerSendChar(h, 'a') == 1 ? 'a' : '!');
    return false;
  }, 5s, 5ms);
  ASSERT_TRUE(lib.SerState(h) & SER_STATE_CANNOT_SEND);
  std::string message = "Meldung 1234567890";
  std::uint32_t room = lib.SerSendReady(h);
  ASSERT_GE(room, message.size());
  EXPECT_EQ(lib.SerSendBuffer(h, message.data(), static_cast<std::uint32_t>(message.size())),
            message.size());
  sent += message;
  EXPECT_EQ(lib.SerSendReady(h), room - message.size());
  std::string filler(lib.SerSendReady(h) + 1, 'f');
  EXPECT_EQ(lib.SerSendBuffer(h, filler.data(), static_cast<std::uint32_t>(filler.size())), 0u)
      << "a full send buffer refuses";
  DeviceSends("\x11");  // XON: the sender thread delivers without further calls
  EXPECT_EQ(DeviceReceives(sent.size()), sent);
  EXPECT_EQ(lib.SerState(h) & SER_STATE_CANNOT_SEND, 0u);
}

TEST_F(SerialPty, OpenErrors) {
  CTermiosSerialLibrary lib(Reader());
  std::uint32_t error = 0;
  ports_["COM8"] = "/dev/meldrix-no-such-device";
  ports_["COM9"] = "/dev/null";  // exists, but no serial port
  const std::pair<std::uint16_t, std::uint32_t> rows[] = {
      {0, SER_ERR_INVALID_PORT}, {256, SER_ERR_INVALID_PORT}, {8, SER_ERR_NOT_AVAILABLE}, {9, SER_ERR_NOT_AVAILABLE}};
  for (const auto& [port, expected] : rows) {
    EXPECT_EQ(lib.SerOpen(Block(port).data(), &error), 0u) << port;
    EXPECT_EQ(error, expected) << port;
  }
  SerHandle h = Open(lib, Block());
  EXPECT_EQ(lib.SerOpen(Block().data(), &error), 0u) << "already open here";
  EXPECT_EQ(error, SER_ERR_PORT_IN_USE);
  CTermiosSerialLibrary other(Reader());  // another opener, as another program
  EXPECT_EQ(other.SerOpen(Block().data(), &error), 0u);
  EXPECT_EQ(error, SER_ERR_PORT_IN_USE);
  lib.SerClose(h);
  SerHandle again = Open(other, Block());
  other.SerClose(again);
}

TEST_F(SerialPty, UnknownHandlesAreHarmless) {
  CTermiosSerialLibrary lib(Reader());
  EXPECT_EQ(lib.SerReceiveReady(0), 0u);
  EXPECT_EQ(lib.SerReceiveChar(42), -1);
  EXPECT_EQ(lib.SerSendChar(42, 'x'), 0);
  EXPECT_EQ(lib.SerSendReady(42), 0u);
  EXPECT_EQ(lib.SerSendBuffer(42, "x", 1), 0u);
  EXPECT_EQ(lib.SerState(42) & SER_STATE_CANNOT_SEND, SER_STATE_CANNOT_SEND);
  EXPECT_NE(lib.SerControl(42, SER_CONTROL_LINES_ON), SER_OK);
  lib.SerReceiveFlush(42);
  lib.SerClose(42);
  SerHandle h = Open(lib, Block());
  lib.SerClose(h);
  EXPECT_EQ(lib.SerSendChar(h, 'x'), 0) << "a closed handle is gone";
}

TEST_F(SerialPty, CloseDeliversQueuedBytes) {
  std::string data(3000, 'z');
  {
    CTermiosSerialLibrary lib(Reader());
    SerHandle h = Open(lib, Block(7, 0, 64, 4096));
    ASSERT_EQ(lib.SerSendBuffer(h, data.data(), 3000), 3000u);
    lib.SerClose(h);
  }
  EXPECT_EQ(DeviceReceives(data.size()), data);
}

TEST_F(SerialPty, VanishedDeviceCannotSend) {
  CTermiosSerialLibrary lib(Reader());
  SerHandle h = Open(lib, Block());
  ::close(master_);  // like an unplugged USB adapter: the line hangs up
  master_ = -1;
  EXPECT_EQ(lib.SerReceiveReady(h), 0u);
  EXPECT_EQ(lib.SerSendReady(h), 0u);
  EXPECT_EQ(lib.SerState(h) & (SER_STATE_CANNOT_SEND | SER_STATE_DEVICE_LOST),
            SER_STATE_CANNOT_SEND | SER_STATE_DEVICE_LOST);
  lib.SerClose(h);
}

TEST(SerialPortMap, DefaultNamesAndDevicesFromThePortsSection) {
  meldrix::testing::TempFolder folder;
  const std::string config = folder.File("meldrix.cfg");
  meldrix::testing::WriteFile(config, "[Settings]\r\nCOM3=/dev/ttyS7\r\n[Ports]\r\nCOM3 = \"/dev/ttyUSB0\"\r\n");
  const ConfigValueReader reader = ConfigFileValues(config);
  EXPECT_EQ(SerialDevicePath(1, {}), "/dev/ttyS0");
  EXPECT_EQ(SerialDevicePath(12, {}), "/dev/ttyS11");
  EXPECT_EQ(SerialDevicePath(3, reader), "/dev/ttyUSB0");
  EXPECT_EQ(SerialDevicePath(4, reader), "/dev/ttyS3");
  EXPECT_EQ(MappedDevicePath("LPT1", "/dev/lp0", reader), "/dev/lp0");
}
