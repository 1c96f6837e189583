// A source read through the reader of its kind, the way the engine does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/InPort.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "engine/OutPort.h"
#include "platform/SerialFake.h"
#include "util/StringTable.h"

namespace meldrix {
namespace {

using testing::TempFolder;

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
  static void Set(CInPort& source, int kind, int port = 0, int outId = 0) {
    source.m_Source = kind;
    source.m_Port = port;
    source.m_OutId = outId;
  }
  ScopedFakeClock clock;
  FakeSerialLibrary serial;
  OutPortServices services;
  COutPortArray outputs;
  std::vector<std::string> errors;
  std::string received;
  TempFolder folder;
};

TEST_F(InPortPollTest, SerialSourceReadsAfterItsTimerAndNotOnceClosed) {
  CInPort port;
  Set(port, CInPort::kSerial, 2);
  port.m_Baud = 2400;
  port.m_Parity = 2;
  ASSERT_TRUE(port.Open(services));
  auto params = serial.OpenedWith(3);
  ASSERT_TRUE(params);
  EXPECT_EQ(params->baud, 2400u);
  EXPECT_EQ(params->parity, 'O');
  EXPECT_EQ(serial.Controls(3), std::vector<std::uint32_t>{SER_CONTROL_LINES_ON});
  serial.Receive(3, "A\r\n\x01");
  EXPECT_EQ(Poll(port), 0);  // the first poll comes after 100 ms
  clock->Advance(100);
  EXPECT_EQ(Poll(port), 1);
  EXPECT_EQ(received, "A\r\n\x01");
  port.Close();
  EXPECT_FALSE(serial.IsOpen(3));
  serial.Receive(3, "B\n");
  clock->Advance(1000);
  EXPECT_EQ(Poll(port), 0);  // a closed source is never read
}

TEST_F(InPortPollTest, HundredMessagesPerPollAndTheRestAtOnce) {
  CInPort port;
  Set(port, CInPort::kSerial);
  ASSERT_TRUE(port.Open(services));
  std::string lines;
  for (int i = 0; i < 150; ++i) lines += "x\n";
  serial.Receive(1, lines);
  clock->Advance(100);
  EXPECT_EQ(Poll(port), 100);
  EXPECT_EQ(Poll(port), 50);  // no wait for the rest
  EXPECT_EQ(Poll(port), 0);
}

// A file linked into the folder shows its watch no finished write: only the
// timed looks find it. A file written there is read at once.
TEST_F(InPortPollTest, FileSourceIntervalsFollowWhetherFilesCouldBeOpened) {
  COutPort& output = outputs.AddNew();
  output.m_Id = 2;
  output.m_Dest = COutPort::kFileDest;
  output.m_File = folder.File("copy-{{$INFILE}}");
  std::string inFile;
  services.setVariable = [&](const std::string&, const std::string& value) { inFile = value; };
  CInPort port;
  Set(port, CInPort::kTextFile, 0, 2);
  port.m_File = folder.File("alarm.txt");
  const auto linkIn = [&](const std::string& text) {
    std::filesystem::remove(port.m_File);
    std::ofstream(folder.File("elsewhere")) << text;
    std::filesystem::create_hard_link(folder.File("elsewhere"), port.m_File);
    std::filesystem::remove(folder.File("elsewhere"));
  };
  ASSERT_TRUE(port.Open(services));
  clock->Advance(100);
  Poll(port);  // not there yet: tried again after a second
  linkIn("FIRE\n");
  clock->Advance(999);
  EXPECT_EQ(Poll(port), 0);
  clock->Advance(1);
  EXPECT_EQ(Poll(port), 1);
  EXPECT_EQ(inFile, port.m_File);  // the output learns which file it copies
  linkIn("later\n");
  clock->Advance(29999);
  EXPECT_EQ(Poll(port), 0);
  clock->Advance(1);
  EXPECT_EQ(Poll(port), 1);
  std::ofstream(port.m_File) << "now\n";
  EXPECT_TRUE(testing::WaitUntil([&] { return Poll(port) == 1; }));
  EXPECT_EQ(received, "FIRE\nlater\nnow\n");
}

TEST_F(InPortPollTest, FileSourceHandsOverAHeldMultiLineMessageAtTheEndOfItsPoll) {
  CInPort port;
  Set(port, CInPort::kTextFile);
  port.m_File = folder.File("alarm.txt");
  AssemblySettings settings;
  settings.moreLineMessages = true;
  port.m_Assembly.Configure(settings);
  std::ofstream(port.m_File) << "FIRE hall 3\n  smoke in corridor\n";
  ASSERT_TRUE(port.Open(services));
  clock->Advance(100);
  port.Poll(outputs, services, [&](char c) { return port.m_Assembly.AddChar(c); });
  port.m_Assembly.FinishPoll();  // no multi-line time-out has passed
  EXPECT_EQ(port.m_Assembly.TakeCompleted(), std::deque<std::string>{"FIRE hall 3 smoke in corridor"});
}

TEST_F(InPortPollTest, OpenFailuresAndDescriptions) {
  CInPort serialPort;
  Set(serialPort, CInPort::kSerial, 1);
  serial.SetOpenError(2, SER_ERR_PORT_IN_USE);
  EXPECT_FALSE(serialPort.Open(services));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0],
            "The currently selected port as message source (COM2) could not be opened.\n"
            "The port is in use");
  CInPort file;
  Set(file, CInPort::kTextFile);
  EXPECT_FALSE(file.Open(services));  // no file setting
  struct Case { int kind; const char* expected; } cases[] = {
      {CInPort::kSerial, "Src=Port COM2: 19200 baud"},
      {CInPort::kTextFile, "Src=File /var/spool/meldrix/incoming/al..."},
      {CInPort::kSocket, "Src=Socket Port 2000"}, {CInPort::kMail, "Src=E-Mail (POP3) user"},
      {CInPort::kDde, "Src="}, {CInPort::kIsdn, "Src="}, {42, "Src="}};
  for (const Case& c : cases) {
    CInPort source;
    Set(source, c.kind, 1);
    source.m_Name = "Src";
    source.m_Baud = 19200;
    source.m_File = "/var/spool/meldrix/incoming/alarms/*.txt";
    source.m_MailUser = "user";
    EXPECT_EQ(source.Describe(false), std::string(c.expected)) << c.kind;
    if (c.kind != CInPort::kSerial && c.kind != CInPort::kSocket) {
      EXPECT_TRUE(source.Open(services)) << c.kind;
    }
  }
}

}  // namespace
}  // namespace meldrix
