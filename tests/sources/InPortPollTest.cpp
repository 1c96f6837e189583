#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/InPort.h"
#include "engine/KorvaneStubProcess.h"
#include "engine/OutPort.h"
#include "platform/SerialFake.h"
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

class InPortPollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUiLanguage(1);
    services.serial = &serial;
    services.showError = [this](const std::string& text) { errors.push_back(text); };
  }
  // Counts each line feed as a finished message.
  int Poll(CInPort& port) {
    return port.Poll(outputs, services, [this](char c) {
      received += c;
      return c == '\n';
    });
  }

  ScopedFakeClock clock;
  FakeSerialLibrary serial;
  OutPortServices services;
  COutPortArray outputs;
  std::vector<std::string> errors;
  std::string received;
  TempFolder folder;
};

TEST_F(InPortPollTest, SerialSourceReadsAfterItsTimerAndCopiesRawBytesToTheOutput) {
  COutPort& copy = outputs.AddNew();
  copy.m_Id = 4;
  copy.m_Dest = COutPort::kFileDest;
  copy.m_File = folder.File("copy.bin");
  CInPort port;
  port.m_Source = CInPort::kSerial;
  port.m_Port = 2;
  port.m_OutId = 4;
  ASSERT_TRUE(port.Open(services));
  serial.Receive(3, "A\r\n\x01");
  EXPECT_EQ(Poll(port), 0);  // the first poll comes after 100 ms
  clock->Advance(100);
  EXPECT_EQ(Poll(port), 1);
  EXPECT_EQ(received, "A\r\n\x01");
  EXPECT_EQ(ReadAll(copy.m_File), "A\r\n\x01");
  port.Close();
  serial.Receive(3, "B\n");
  clock->Advance(1000);
  EXPECT_EQ(Poll(port), 0);  // a closed source is never read
}

TEST_F(InPortPollTest, HundredMessagesPerPollAndTheRestAtOnce) {
  CInPort port;
  port.m_Source = CInPort::kSerial;
  ASSERT_TRUE(port.Open(services));
  std::string lines;
  for (int i = 0; i < 150; ++i) lines += "x\n";
  serial.Receive(1, lines);
  clock->Advance(100);
  EXPECT_EQ(Poll(port), 100);
  EXPECT_EQ(Poll(port), 50);  // no wait for the rest
  EXPECT_EQ(Poll(port), 0);
}

TEST_F(InPortPollTest, FileSourceIntervalsFollowWhetherFilesCouldBeOpened) {
  CInPort port;
  port.m_Source = CInPort::kTextFile;
  port.m_File = folder.File("alarm.txt");
  ASSERT_TRUE(port.Open(services));
  clock->Advance(100);
  Poll(port);  // not there yet: tried again after a second
  std::ofstream(port.m_File) << "FIRE\n";
  clock->Advance(999);
  EXPECT_EQ(Poll(port), 0);
  clock->Advance(1);
  EXPECT_EQ(Poll(port), 1);
  std::ofstream(port.m_File) << "later\n";
  clock->Advance(29999);
  EXPECT_EQ(Poll(port), 0);
  clock->Advance(1);
  EXPECT_EQ(Poll(port), 1);
  EXPECT_EQ(received, "FIRE\nlater\n");
}

TEST_F(InPortPollTest, OpenFailuresAndDescriptions) {
  CInPort serialPort;
  serialPort.m_Name = "Panel";
  serialPort.m_Source = CInPort::kSerial;
  serialPort.m_Port = 1;
  serialPort.m_Baud = 19200;
  serial.SetOpenError(2, SER_ERR_PORT_IN_USE);
  EXPECT_FALSE(serialPort.Open(services));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0],
            "The currently selected port as message source (COM2) could not be opened.\n"
            "The port is in use");
  EXPECT_EQ(serialPort.Describe(false), "Panel=Port COM2: 19200 baud");
  EXPECT_EQ(serialPort.Describe(true), "Panel\tPort COM2: 19200 baud");

  CInPort file;
  file.m_Name = "Drop";
  file.m_Source = CInPort::kTextFile;
  EXPECT_FALSE(file.Open(services));  // no file setting
  file.m_File = "/var/spool/meldrix/incoming/alarms/*.txt";
  EXPECT_EQ(file.Describe(false), "Drop=File /var/spool/meldrix/incoming/al...");

  CInPort socket;
  socket.m_Name = "Net";
  socket.m_Source = CInPort::kSocket;
  EXPECT_TRUE(socket.Open(services));
  EXPECT_EQ(socket.Describe(false), "Net=Socket Port 2000");

  COutPort printer;
  printer.m_Name = "Printer";
  printer.m_Port = 10;
  EXPECT_EQ(printer.Describe(false), "Printer=Port LPT2:");
  printer.m_Port = 3;
  EXPECT_EQ(printer.Describe(false), "Printer=Port COM4: 9600 baud");
}

}  // namespace
}  // namespace meldrix
