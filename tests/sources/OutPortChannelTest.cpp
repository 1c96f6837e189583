#include <gtest/gtest.h>

#include <fstream>

#include "support/TempFolder.h"
#include "platform/SerialFake.h"
#include "engine/OutPort.h"
#include "support/Files.h"
#include "sources/FileOutputChannel.h"
#include "util/StringTable.h"

namespace meldrix {
namespace {

using testing::TempFolder;
using testing::ReadFile;

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
    services.expand = [this](std::string text) {
      for (const auto& [block, value] : {std::pair<std::string, std::string>{"{{$INFILE}}", variables["$INFILE"]},
                                         {"{{$YEAR}}", "2026"}}) {
        if (auto at = text.find(block); at != std::string::npos) text.replace(at, block.size(), value);
      }
      return text;
    };
  }
  // An output on a serial or printer port (index), or a file (name).
  COutPort& Port(int index) {
    outputs.emplace_back(std::make_unique<COutPort>());
    outputs.back()->m_Port = index;
    return *outputs.back();
  }
  COutPort& File(const std::string& name) {
    COutPort& output = Port(0);
    output.m_Dest = COutPort::kFileDest;
    output.m_File = folder.File(name);
    return output;
  }
  FakeSerialLibrary serial;
  std::shared_ptr<FakePrinterState> printer = std::make_shared<FakePrinterState>();
  OutPortServices services;
  std::vector<std::string> errors;
  std::map<std::string, std::string> variables;
  TempFolder folder;
  std::vector<std::unique_ptr<COutPort>> outputs;  // last: closed before the fakes go
};

TEST_F(OutPortChannelTest, FileOutputAppendsAndClosesPerMessageInFileMode) {
  COutPort& output = File("out.txt");
  std::ofstream(output.m_File) << "old\n";
  ASSERT_TRUE(output.Open(services));
  output.Close();
  EXPECT_TRUE(output.Send("A\r\n", nullptr, services));
  EXPECT_FALSE(output.IsOpen());  // another program may read it in between
  EXPECT_TRUE(output.Send(std::string("B\0\xE4", 3), nullptr, services));
  EXPECT_EQ(ReadFile(output.m_File), std::string("old\nA\r\nB\0\xE4", 10));
  output.m_FileMode = 0;
  EXPECT_TRUE(output.Send("C", nullptr, services));
  EXPECT_TRUE(output.IsOpen());
  EXPECT_TRUE(output.Send("D", nullptr, services));
  EXPECT_EQ(ReadFile(output.m_File).substr(10), "CD");
  EXPECT_TRUE(errors.empty());
}

TEST_F(OutPortChannelTest, InFileNameSwitchesFilesWhenTheSourceChanges) {
  COutPort& output = File("copy-{{$INFILE}}");
  output.m_FileMode = 0;
  CFileOutputChannel channel(output);
  std::string a = "a.txt", b = "b.txt";
  EXPECT_TRUE(channel.Send("1", &a, services));
  EXPECT_EQ(variables["$INFILE"], "a.txt");
  EXPECT_TRUE(channel.Send("2", &b, services));
  EXPECT_EQ(channel.ResolvedName(), folder.File("copy-b.txt"));
  EXPECT_TRUE(channel.Send("3", &a, services));
  EXPECT_EQ(ReadFile(folder.File("copy-a.txt")), "13");
  EXPECT_EQ(ReadFile(folder.File("copy-b.txt")), "2");
}

TEST_F(OutPortChannelTest, EverySourceKindWritesToTheExpandedNameInUtf8) {
  COutPort& output = File("Pr\xFC" "fung-{{$YEAR}}.log");  // Windows-1252, as the engine holds it
  EXPECT_TRUE(output.Send("s", nullptr, services));       // serial or socket: no file of its own
  std::string in = "in.txt";
  EXPECT_TRUE(output.Send("f", &in, services));
  EXPECT_EQ(ReadFile(folder.File("Prüfung-2026.log")), "sf");
}

TEST_F(OutPortChannelTest, SerialOutputSendsWholeMessagesOnly) {
  COutPort& output = Port(2);  // COM3
  output.m_Baud = 19200;
  output.m_Parity = 1;
  output.m_Mode = 2;
  ASSERT_TRUE(output.Open(services));
  auto params = serial.OpenedWith(3);
  ASSERT_TRUE(params);
  EXPECT_EQ(params->baud, 19200u);
  EXPECT_EQ(params->parity, 'E');
  EXPECT_EQ(params->handshake, 2);
  EXPECT_EQ(params->sendBufferSize, 1024u);
  EXPECT_EQ(serial.Controls(3), std::vector<std::uint32_t>{SER_CONTROL_LINES_ON});
  EXPECT_TRUE(output.Send("hello", nullptr, services));
  EXPECT_EQ(serial.Sent(3), "hello");
  serial.SetStalled(3, true);
  EXPECT_FALSE(output.Send("refused", nullptr, services));
  EXPECT_FALSE(output.Send(std::string(2000, 'x'), nullptr, services));
  serial.SetStalled(3, false);
  EXPECT_FALSE(output.Send(std::string(2000, 'x'), nullptr, services));
  EXPECT_EQ(serial.Sent(3), "hello");  // no part of a refused message went out
}

TEST_F(OutPortChannelTest, OpenFailuresNameTheirPortOrFile) {
  serial.SetOpenError(1, SER_ERR_PORT_IN_USE);
  serial.SetOpenError(2, 0x123);
  printer->openFails = true;
  const std::string missing = folder.File("missing-folder/out.txt");
  struct Case { COutPort& output; std::string error; } cases[] = {  // the start of the error text; "" for none
      {Port(0), "The currently selected port as message output (COM1:) could not be opened.\nThe port is in use"},
      {Port(1), "The currently selected port as message output (COM2:) could not be opened.\nError code: 0123"},
      {Port(9), "The currently selected port as message output (LPT1:) could not be opened.\n"},
      {Port(12), ""},  // above LPT3: silently
      {File("missing-folder/out.txt"),
       "The currently selected file for message output (" + missing + ") could not be opened or created."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    errors.clear();
    EXPECT_FALSE(c.output.Open(services));
    EXPECT_FALSE(c.output.Send("x", nullptr, services));
    ASSERT_EQ(errors.size(), c.error.empty() ? 0u : 2u);  // once at the test open, once for the message
    if (!c.error.empty()) { EXPECT_EQ(errors[0].rfind(c.error, 0), 0u) << errors[0]; }
  }
}

TEST_F(OutPortChannelTest, PrinterRefusesOnStatusOrErrorsAndWritesOtherwise) {
  COutPort& output = Port(10);  // LPT2
  output.m_FileMode = 0;
  services.config = [](const std::string& section, const std::string& key) {
    return section == "Ports" && key == "LPT2" ? std::string("/dev/fake-lp") : std::string();
  };
  ASSERT_TRUE(output.Open(services));
  EXPECT_EQ(printer->openedDevice, "/dev/fake-lp");
  printer->status = kPrinterPaperEmpty;
  EXPECT_FALSE(output.Send("no paper", nullptr, services));
  EXPECT_EQ(printer->written, "");  // refused before anything was written
  printer->status = std::nullopt;  // the device cannot tell: write anyway
  printer->pendingErrors = kPrinterErrIo;
  EXPECT_FALSE(output.Send("io", nullptr, services));
  EXPECT_TRUE(output.Send("ok", nullptr, services));
  EXPECT_EQ(printer->written, "ok");
  printer->acceptLimit = 1;
  EXPECT_FALSE(output.Send("cut", nullptr, services));
  output.m_FileMode = 1;
  printer->acceptLimit = SIZE_MAX;
  EXPECT_TRUE(output.Send("!", nullptr, services));
  EXPECT_FALSE(output.IsOpen());
}

TEST_F(OutPortChannelTest, SwitchToAFileReleasesTheSerialPort) {
  COutPort& output = Port(3);
  output.m_Name = "Out";
  ASSERT_TRUE(output.Open(services));
  output.m_Dest = COutPort::kFileDest;
  output.m_File = "/var/spool/meldrix/outgoing/copies/all.txt";
  EXPECT_EQ(output.Describe(false), "Out=File /var/spool/meldrix/outgoing/co...");
  output.m_File = folder.File("now.txt");
  EXPECT_TRUE(output.Send("x", nullptr, services));
  EXPECT_FALSE(serial.IsOpen(4));
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
