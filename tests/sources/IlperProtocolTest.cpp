#include <gtest/gtest.h>

#include "platform/Env.h"
#include "sources/FakeProtocolPort.h"
#include "sources/IlperProtocol.h"
#include "platform/LocaleInfo.h"
#include "platform/Clock.h"
#include "support/Telegrams.h"

namespace meldrix {
namespace {

using namespace meldrix::testing;
using Lines = std::vector<std::string>;
std::string Telegram(const Lines& fields, bool highByteFirst = false) { return IlperTelegram(fields, highByteFirst); }

class IlperProtocolTest : public ::testing::Test {
 protected:
  Lines Feed(const std::string& bytes) { return FeedAll(decoder_, port_, bytes); }
  FakeProtocolPort port_;
  IlperProtocol decoder_{IlperProtocol::TimeStamps::Local, [this] { port_.events.push_back("pending"); }};
};

TEST_F(IlperProtocolTest, GoodTelegramIsAcknowledgedAfterThePendingEventsAndJoined) {
  uint16_t crc = 0xFFFF;
  for (char c : std::string("123456789")) crc = IlperProtocol::Crc16Modbus(crc, static_cast<unsigned char>(c));
  EXPECT_EQ(crc, 0x4B37);  // CRC-16/MODBUS
  Lines lines = Feed(Telegram({"A1", "zz", "Brand", "Halle 3", "77"}));
  EXPECT_EQ(lines, (Lines{"A1;zz;Brand;Halle 3;77"}));
  EXPECT_EQ(port_.events, (Lines{"pending", "ACK", "flush"}));
  EXPECT_FALSE(decoder_.InTelegram());
}

TEST_F(IlperProtocolTest, WrongChecksumFieldCountOrLengthIsAnsweredWithNak) {
  const std::string huge(IlperProtocol::kMaxTelegram, 'x');  // refused without growing without bound
  for (const std::string& wire : {Telegram({"A1", "zz", "Brand", "Halle 3", "77"}, true), Telegram({"1", "2", "3", "4"}),
                                  Telegram({"1", "2", "3", "4", "5", "6", "7"}), Telegram({huge, "t", "c", "d", "e"})}) {
    port_.events.clear();
    EXPECT_TRUE(Feed(wire).empty());
    EXPECT_EQ(port_.events, (Lines{"NAK", "flush"}));
  }
  // Right at the limit it still passes.
  std::string longest(IlperProtocol::kMaxTelegram - 4 - 4, 'y');
  EXPECT_EQ(Feed(Telegram({longest, "t", "c", "d", "e"})), (Lines{longest + ";t;c;d;e"}));
}

TEST_F(IlperProtocolTest, StxRestartsTheTelegramInAnyState) {
  // Inside the fields.
  std::string good = Telegram({"a", "t", "c", "d", "e"});
  EXPECT_EQ(Feed(good.substr(0, 6) + good), (Lines{"a;t;c;d;e"}));
  EXPECT_EQ(port_.events, (Lines{"pending", "ACK", "flush"}));
  // A checksum byte of 0x02 drops the telegram without an answer.
  port_.events.clear();
  std::string text = "x";
  for (int i = 0; i < 100000 && (IlperCrc(IlperBody({text, "t", "c", "d", "e"})) & 0xFF) != 0x02; ++i)
    text = std::to_string(i);
  std::string unlucky = Telegram({text, "t", "c", "d", "e"});
  ASSERT_EQ(unlucky[unlucky.size() - 2], STX);
  EXPECT_TRUE(Feed(unlucky).empty());
  EXPECT_TRUE(port_.events.empty());
  EXPECT_TRUE(decoder_.InTelegram());  // the 0x02 began a new one
  EXPECT_EQ(Feed(good), (Lines{"a;t;c;d;e"}));
}

TEST_F(IlperProtocolTest, FieldsWithTheSeparatorAreQuoted) {
  EXPECT_EQ(Feed(Telegram({"a;b", "t", "say \"hi\";now", "", "e"})),
            (Lines{"\"a;b\";t;'say \"hi\";now';;e"}));
}

// A fixed clock one hour east of UTC and the German locale formats.
class IlperTimeStampTest : public ::testing::Test {
 protected:
  ScopedEnv env_{Env{.locale = FixedLocaleInfo::German(),
                     .clock = std::make_shared<FixedClock>(1'700'000'000, 3600)}};
  Lines Decode(IlperProtocol::TimeStamps timeStamps, const Lines& fields) {
    IlperProtocol decoder(timeStamps, nullptr);
    FakeProtocolPort port;
    return FeedAll(decoder, port, Telegram(fields));
  }
};

TEST_F(IlperTimeStampTest, SecondFieldOfFiveAndThirdOfSixIsTheTimeStamp) {
  const auto Local = IlperProtocol::TimeStamps::Local, Utc = IlperProtocol::TimeStamps::Utc;
  struct Case { IlperProtocol::TimeStamps stamps; Lines fields; const char* line; } cases[] = {
      {Local, {"A1", "5FEE6600", "Brand", "Halle 3", "77"}, "A1;01.01.2021 00:00:00;Brand;Halle 3;77"},
      {Local, {"A1", "B2", "5fee6601", "Brand", "Halle 3", "77"}, "A1;B2;01.01.2021 00:00:01;Brand;Halle 3;77"},
      // UTC stamps move by the local offset.
      {Utc, {"A", "0", "c", "d", "e"}, "A;01.01.1970 01:00:00;c;d;e"},
      {Local, {"A", "0", "c", "d", "e"}, "A;01.01.1970 00:00:00;c;d;e"},
      {Utc, {"A", "FFFFFFFF", "c", "d", "e"}, "A;07.02.2106 07:28:15;c;d;e"},  // the largest 32-bit count
      // A field that is no 32-bit hex number is kept as received.
      {Local, {"A", "12:30", "c", "d", "e"}, "A;12:30;c;d;e"},
      {Local, {"A", "", "c", "d", "e"}, "A;;c;d;e"},
      {Local, {"A", "100000000", "c", "d", "e"}, "A;100000000;c;d;e"},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.stamps, c.fields), (Lines{c.line}));
}

// Central European rules for 2021: +2 h from 28 March 01:00 UTC to 31 October 01:00 UTC.
class BerlinClock2021 : public Clock {
 public:
  std::int64_t NowUtcSeconds() const override { return 1625097600; }  // 1 July 2021, summer
  int UtcOffsetSeconds(std::int64_t t) const override {
    return (t >= 1616893200 && t < 1635642000) ? 7200 : 3600;
  }
};

TEST_F(IlperTimeStampTest, UtcStampsUseTheOffsetInForceAtTheirOwnInstant) {
  ScopedEnv berlin(Env{.clock = std::make_shared<BerlinClock2021>()});
  // A stamp from winter, received in summer, shows winter time.
  EXPECT_EQ(Decode(IlperProtocol::TimeStamps::Utc, {"A", "5FEE6600", "c", "d", "e"}),
            (Lines{"A;01.01.2021 01:00:00;c;d;e"}));
  EXPECT_EQ(Decode(IlperProtocol::TimeStamps::Utc, {"A", "60DD0580", "c", "d", "e"}),
            (Lines{"A;01.07.2021 02:00:00;c;d;e"}));
}

}  // namespace
}  // namespace meldrix
