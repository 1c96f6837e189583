#include <gtest/gtest.h>

#include "sources/FakeProtocolPort.h"
#include "sources/SiedleProtocol.h"
#include "support/Telegrams.h"
#include "util/TraceToolRunner.h"

namespace meldrix {
namespace {

using namespace meldrix::testing;
using Events = std::vector<std::string>;

std::string Telegram(int receiver, int function, int sender, const std::string& info, int checksumDelta = 0) {
  return SiedleTelegram(receiver, function, sender, info, checksumDelta);
}

// Event telegram info: Z (3 bytes), Q (3 bytes), code (2), one byte, P, S, three more.
std::string EventInfo(int code, int p, int s) {
  return Raw({0x12, 0x34, 0x56, 0xAB, 0xCD, 0xEF, code >> 8, code & 0xFF, 0x00, p, s, 0x01, 0x02, 0x04});
}

std::string Decode(const std::string& wire) {
  SiedleProtocol decoder;
  FakeProtocolPort port;
  auto lines = FeedAll(decoder, port, wire);
  return lines.size() == 1 ? lines[0] : "<" + std::to_string(lines.size()) + " lines>";
}

TEST(SiedleProtocolTest, TelegramToUsIsAcknowledgedAndFlushedABroadcastIsNot) {
  SiedleProtocol decoder;
  FakeProtocolPort port;
  EXPECT_EQ(FeedAll(decoder, port, Telegram(0x01, 0x4A, 0x02, EventInfo(0x0400, 0x05, 0x00))),
            (Events{"Z=123456:Q=ABCDEF:Meldung 05 aktiviert"}));
  EXPECT_EQ(port.events, (Events{"ACK", "flush"}));
  EXPECT_FALSE(decoder.InTelegram());
  EXPECT_EQ(FeedAll(decoder, port, Telegram(0xFF, 0x4A, 0x02, EventInfo(0x0200, 0, 0))),
            (Events{"Z=123456:Q=ABCDEF:T\xFCrruf"}));
  EXPECT_EQ(port.events.size(), 2u);
}

TEST(SiedleProtocolTest, EventTable) {
  struct Case { int code, p, s; const char* text; } cases[] = {
      {0x0100, 0x07, 0x00, "Eingang07 geschlossen"}, {0x0100, 0x07, 0x01, "Eingang07 ge\xF6" "ffnet"},
      {0x0101, 0x1A, 0x00, "Ausgang1A geschlossen"}, {0x0101, 0x1A, 0xFF, "Ausgang1A ge\xF6" "ffnet"},
      {0x0200, 0, 0, "T\xFCrruf"}, {0x0201, 0, 0, "H\xF6rer abgenommen"}, {0x0202, 0, 0, "H\xF6rer aufgelegt"},
      {0x0203, 0, 0, "Rufe Teilnehmer"}, {0x0204, 0, 0, "Rufe Teilnehmer"},
      {0x0205, 0xFF, 0, "Videoverbindung on"}, {0x0205, 0xFE, 0, "Videoverbindung off"},
      {0x0206, 0, 0, "T\xFCr\xF6" "ffner"}, {0x0207, 0, 0, "Licht"}, {0x0208, 0, 0, "Kamera Stop"},
      {0x0208, 6, 0, "Kamera rechts"}, {0x0208, 10, 0, "Kamera Focus-"}, {0x0208, 11, 0, "Kamera 0B"},
      {0x0400, 0x05, 0x00, "Meldung 05 aktiviert"}, {0x0400, 0x05, 0x01, "Meldung 05 gel\xF6scht"},
      {0x0401, 0xBE, 0xEF, "Systemfunktion BEEF"}, {0x0402, 0, 0x00, "Alarmruf gel\xF6scht"},
      {0x0402, 1, 0x01, "Feueralarm aktiviert"}, {0x0402, 7, 0x00, "Schwesternruf gel\xF6scht"},
      {0x0402, 0x20, 0x01, "20 aktiviert"}, {0x0999, 1, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(Decode(Telegram(0x01, 0x4A, 0x02, EventInfo(c.code, c.p, c.s))),
              std::string("Z=123456:Q=ABCDEF:") + c.text);
  }
}

TEST(SiedleProtocolTest, OtherTelegramsShowAddressesFunctionAndInfo) {
  std::string wireWithoutDle = Raw({STX, 0x01, 0x33, 0x02, DLE, 0x03});
  std::string hex49;
  for (int i = 0; i < 49; ++i) hex49 += "61";
  const struct {
    std::string wire, line;
  } cases[] = {
      {Telegram(0x01, 0x33, 0x7F, Raw({0xDE, 0xAD})), "7F->01:33:DEAD"},
      {Telegram(0x01, 0x33, 0x7F, ""), "7F->01:33:"},
      // An event function with 13 info bytes is not an event telegram.
      {Telegram(0x01, 0x4A, 0x02, EventInfo(0x0200, 0, 0).substr(1)), "02->01:4A:3456ABCDEF0200000000010204"},
      // Escaped 03 and 10 are data; Telegram() counts every DLE in the checksum.
      {Telegram(0x01, 0x33, 0x02, Raw({0x03, 0x10, 0x41})), "02->01:33:031041"},
      {Telegram(0x03, 0x10, 0x02, ""), "02->03:10:"},
      // Without the DLE counted the sum is off by 0x10.
      {wireWithoutDle + static_cast<char>(-(0x01 + 0x33 + 0x02 + 0x03)) + ETX, "<0 lines>"},
      // STX inside a telegram is data; bytes before STX are ignored.
      {Telegram(0x01, 0x33, 0x02, Raw({0x02, 0x02})), "02->01:33:0202"},
      {"xyz" + Telegram(0x01, 0x33, 0x02, ""), "02->01:33:"},
      // The longest info shown: 49 bytes, 98 hex digits.
      {Telegram(0x01, 0x33, 0x02, std::string(49, 'a')), "02->01:33:" + hex49},
  };
  for (const auto& c : cases) EXPECT_EQ(Decode(c.wire), c.line);
}

// A telegram that cannot be checked or is too long is dropped without an
// answer, and the decoder is ready for the next one.
TEST(SiedleProtocolTest, DroppedTelegramsGetNoAnswerAndLeaveTheDecoderReady) {
  const std::string wires[] = {
      Telegram(0x01, 0x4A, 0x02, EventInfo(0x0200, 0, 0), 1),  // bad checksum
      Raw({STX, 0, 0, 0, ETX}),                               // no checksum byte
      Telegram(0x01, 0x33, 0x02, std::string(50, 'a')),        // info over 100 hex digits
  };
  for (const std::string& wire : wires) {
    SiedleProtocol decoder;
    FakeProtocolPort port;
    EXPECT_TRUE(FeedAll(decoder, port, wire).empty());
    EXPECT_TRUE(port.events.empty());
    EXPECT_FALSE(decoder.InTelegram());
    EXPECT_EQ(FeedAll(decoder, port, Telegram(0x01, 0x33, 0x02, "A")), (Events{"02->01:33:41"}));
  }
}

TEST(SiedleProtocolTest, PumpFeedsWaitingBytesAndFlushesAfterTheAcknowledgement) {
  SiedleProtocol decoder;
  FakeProtocolPort port;
  std::vector<std::string> lines;
  std::string raw;
  ProtocolLineSink sink = [&](std::string line) { lines.push_back(std::move(line)); };
  auto copy = [&](unsigned char b) { raw.push_back(static_cast<char>(b)); };
  std::string first = Telegram(0x01, 0x33, 0x02, Raw({0x03}));
  port.Queue(first.substr(0, 4));
  EXPECT_TRUE(PumpProtocol(port, decoder, sink, copy));
  EXPECT_EQ(port.receiveCalls, 4 + 100);  // asked again while inside the telegram
  EXPECT_TRUE(lines.empty());
  // The rest arrives with the start of a second telegram behind it: the
  // acknowledgement's flush throws that away, the device repeats it.
  port.Queue(first.substr(4) + Telegram(0x01, 0x33, 0x02, "X"));
  port.receiveCalls = 0;
  EXPECT_FALSE(PumpProtocol(port, decoder, sink, copy));
  EXPECT_EQ(lines, (Events{"02->01:33:03"}));
  EXPECT_EQ(port.events, (Events{"ACK", "flush"}));
  EXPECT_GT(port.flushed, 0);
  EXPECT_EQ(raw, first);  // every byte, DLE included, goes to the output
  EXPECT_EQ(port.receiveCalls, static_cast<int>(first.size() - 4) + 1);
}

class SiedleTraceTest : public TraceToolFixture {};

// Each byte with the state it met, and the state it led to when that changed.
TEST_F(SiedleTraceTest, TracesEveryStateByteAndWhyATelegramWasDropped) {
  auto tool = StartTool({"0xC"});
  SiedleProtocol decoder;
  FakeProtocolPort port;
  FeedAll(decoder, port, Raw({STX, 0x01, 0x33, 0x02, 0x00, ETX}));
  FeedAll(decoder, port, Raw({STX, 0x01, 0x33, 0x02}) + std::string(51, 'a') + ETX);
  TraceText("end");
  const std::string out = tool->ReadUntil("end\n");
  EXPECT_TRUE(out.starts_with(" Siedle(0)RX(02)\n Siedle(1)\n Siedle(1)RX(01)\n Siedle(2)\n"
                              " Siedle(2)RX(33)\n Siedle(3)\n Siedle(3)RX(02)\n Siedle(4)\n"
                              " Siedle(4)RX(00)\n Siedle(4)RX(03)\n Siedle(0)\nSiedle invalid checksum (36)\n"
                              " Siedle(0)RX(02)\n"))
      << out;
  EXPECT_TRUE(out.ends_with(" Siedle(4)RX(61)\n Siedle(0): FunctionInfo too long\n Siedle(0)RX(03)\nend\n")) << out;
  EXPECT_TRUE(port.events.empty());
}

}  // namespace
}  // namespace meldrix
