#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/KorvaneStubProcess.h"
#include "platform/SerialFake.h"
#include "sources/OutPortChannel.h"
#include "util/StringTable.h"

namespace meldrix {
namespace {

using testing::TempFolder;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class OutPortChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUiLanguage(1);
    services.serial = &serial;
    services.printers = [this] { return std::make_unique<FakePrinterPort>(printer); };
    services.showError = [this](const std::string& text) { errors.push_back(text); };
    services.setVariable = [this](const std::string& name, const std::string& value) {
      variables[name] = value;
    };
    // Stands in for the expression evaluator: $INFILE becomes the variable.
    services.expand = [this](const std::string& text) {
      std::string out = text;
      auto at = out.find("{{$INFILE}}");
      if (at != std::string::npos) out.replace(at, 11, variables["$INFILE"]);
      return out;
    };
  }

  FakeSerialLibrary serial;
  std::shared_ptr<FakePrinterState> printer = std::make_shared<FakePrinterState>();
  OutPortServices services;
  std::vector<std::string> errors;
  std::map<std::string, std::string> variables;
  TempFolder folder;
};

TEST_F(OutPortChannelTest, FileOutputAppendsAndClosesPerMessageInFileMode) {
  OutPortTarget target;
  target.dest = kOutDestFile;
  target.file = folder.File("out.txt");
  {
    std::ofstream(target.file) << "old\n";
  }
  COutPortChannel channel;
  ASSERT_TRUE(channel.Open(target, services));
  channel.Close();
  EXPECT_TRUE(channel.Send(target, services, "A\r\n", nullptr));
  EXPECT_FALSE(channel.IsOpen());  // another program may read it in between
  EXPECT_TRUE(channel.Send(target, services, std::string("B\0\xE4", 3), nullptr));
  EXPECT_EQ(ReadAll(target.file), std::string("old\nA\r\nB\0\xE4", 10));

  target.fileMode = false;
  EXPECT_TRUE(channel.Send(target, services, "C", nullptr));
  EXPECT_TRUE(channel.IsOpen());
  EXPECT_TRUE(channel.Send(target, services, "D", nullptr));
  EXPECT_EQ(ReadAll(target.file).substr(10), "CD");
  EXPECT_TRUE(errors.empty());
}

TEST_F(OutPortChannelTest, InFileNameSwitchesFilesWhenTheSourceChanges) {
  OutPortTarget target;
  target.dest = kOutDestFile;
  target.fileMode = false;
  target.file = folder.File("copy-{{$INFILE}}");
  std::string a = "a.txt", b = "b.txt";
  COutPortChannel channel;
  EXPECT_TRUE(channel.Send(target, services, "1", &a));
  EXPECT_EQ(variables["$INFILE"], "a.txt");
  EXPECT_TRUE(channel.Send(target, services, "2", &b));
  EXPECT_EQ(channel.ResolvedName(), folder.File("copy-b.txt"));
  EXPECT_TRUE(channel.Send(target, services, "3", &a));
  EXPECT_EQ(ReadAll(folder.File("copy-a.txt")), "13");
  EXPECT_EQ(ReadAll(folder.File("copy-b.txt")), "2");
}

TEST_F(OutPortChannelTest, FileThatCannotBeCreatedShowsTextWithTheName) {
  OutPortTarget target;
  target.dest = kOutDestFile;
  target.file = folder.File("missing-folder/out.txt");
  COutPortChannel channel;
  EXPECT_FALSE(channel.Open(target, services));
  EXPECT_FALSE(channel.Send(target, services, "x", nullptr));
  ASSERT_EQ(errors.size(), 2u);  // once at the test open, once for the message
  EXPECT_EQ(errors[0], "The currently selected file for message output (" + target.file +
                           ") could not be opened or created.");
}

TEST_F(OutPortChannelTest, SerialOutputSendsWholeMessagesOnly) {
  OutPortTarget target;
  target.port = 2;  // COM3
  target.baud = 19200;
  target.parity = 1;
  target.mode = 2;
  COutPortChannel channel;
  ASSERT_TRUE(channel.Open(target, services));
  auto params = serial.OpenedWith(3);
  ASSERT_TRUE(params);
  EXPECT_EQ(params->baud, 19200u);
  EXPECT_EQ(params->parity, 'E');
  EXPECT_EQ(params->handshake, 2);
  EXPECT_EQ(params->sendBufferSize, 1024u);
  EXPECT_EQ(serial.Controls(3), std::vector<std::uint32_t>{SER_CONTROL_LINES_ON});

  EXPECT_TRUE(channel.Send(target, services, "hello", nullptr));
  EXPECT_EQ(serial.Sent(3), "hello");
  serial.SetStalled(3, true);
  EXPECT_FALSE(channel.Send(target, services, "refused", nullptr));
  EXPECT_FALSE(channel.Send(target, services, std::string(2000, 'x'), nullptr));
  serial.SetStalled(3, false);
  EXPECT_FALSE(channel.Send(target, services, std::string(2000, 'x'), nullptr));
  EXPECT_EQ(serial.Sent(3), "hello");  // no part of a refused message went out
}

TEST_F(OutPortChannelTest, SerialOpenFailureNamesPortAndReason) {
  OutPortTarget target;
  target.port = 0;
  serial.SetOpenError(1, SER_ERR_PORT_IN_USE);
  COutPortChannel channel;
  EXPECT_FALSE(channel.Open(target, services));
  serial.SetOpenError(1, 0x123);
  EXPECT_FALSE(channel.Open(target, services));
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0],
            "The currently selected port as message output (COM1:) could not be opened.\n"
            "The port is in use");
  EXPECT_NE(errors[1].find("Error code: 0123"), std::string::npos);
}

TEST_F(OutPortChannelTest, PrinterRefusesOnStatusOrErrorsAndWritesOtherwise) {
  OutPortTarget target;
  target.port = 10;  // LPT2
  target.fileMode = false;
  services.config = [](const std::string& section, const std::string& key) {
    return section == "Ports" && key == "LPT2" ? std::string("/dev/fake-lp") : std::string();
  };
  COutPortChannel channel;
  ASSERT_TRUE(channel.Open(target, services));
  EXPECT_EQ(printer->openedDevice, "/dev/fake-lp");

  printer->status = kPrinterPaperEmpty;
  EXPECT_FALSE(channel.Send(target, services, "no paper", nullptr));
  EXPECT_EQ(printer->written, "");  // refused before anything was written

  printer->status = std::nullopt;  // the device cannot tell: write anyway
  printer->pendingErrors = kPrinterErrIo;
  EXPECT_FALSE(channel.Send(target, services, "io", nullptr));
  EXPECT_TRUE(channel.Send(target, services, "ok", nullptr));
  EXPECT_EQ(printer->written, "ok");

  printer->acceptLimit = 1;
  EXPECT_FALSE(channel.Send(target, services, "cut", nullptr));

  target.fileMode = true;
  printer->acceptLimit = SIZE_MAX;
  EXPECT_TRUE(channel.Send(target, services, "!", nullptr));
  EXPECT_FALSE(channel.IsOpen());
}

TEST_F(OutPortChannelTest, PrinterOpenFailureAndIndexAboveLpt3) {
  OutPortTarget target;
  target.port = 9;
  printer->openFails = true;
  COutPortChannel channel;
  EXPECT_FALSE(channel.Open(target, services));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind(
                "The currently selected port as message output (LPT1:) could not be opened.\n", 0),
            0u);
  target.port = 12;
  EXPECT_FALSE(channel.Open(target, services));
  EXPECT_EQ(errors.size(), 1u);  // silently
}

TEST(PrinterStatusTest, RegisterBitsMapToRefusals) {
  // Selected, not busy (the busy line is inverted), paper present, no error.
  int ready = 0x80 | 0x10 | 0x08;
  EXPECT_EQ(CLinuxPrinterPort::StatusFromRegister(ready), 0u);
  EXPECT_TRUE(CLinuxPrinterPort::StatusFromRegister(ready | 0x20) & kPrinterPaperEmpty);
  EXPECT_TRUE(CLinuxPrinterPort::StatusFromRegister(ready & ~0x10) & kPrinterOffLine);
  EXPECT_TRUE(CLinuxPrinterPort::StatusFromRegister(ready & ~0x80) & kPrinterBusy);
  EXPECT_TRUE(CLinuxPrinterPort::StatusFromRegister(0xF8) & kPrinterNotConnected);
}

}  // namespace
}  // namespace meldrix
