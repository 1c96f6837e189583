#include "platform/SerialParams.h"

#include <gtest/gtest.h>

#include "platform/SerialLibrary.h"

using namespace meldrix;

namespace {

SerPortParams Params(std::uint8_t dataBits, char parity, std::uint8_t stopBits,
                     std::uint8_t handshake = 0, std::uint32_t baud = 9600) {
  SerPortParams p;
  p.dataBits = dataBits;
  p.parity = static_cast<std::uint8_t>(parity);
  p.stopBits = stopBits;
  p.handshake = handshake;
  p.baud = baud;
  return p;
}

tcflag_t Flags(const SerPortParams& p) {
  SerTermios t = TranslateSerParams(p);
  EXPECT_EQ(t.error, 0u);
  return t.settings.c_cflag;
}

}  // namespace

TEST(SerialParams, BlockLayoutIsPackedLittleEndian) {
  SerPortParams p;
  p.port = 3;
  p.baud = 115200;
  p.dataBits = 7;
  p.parity = 'E';
  p.stopBits = 2;
  p.handshake = 2;
  p.receiveBufferSize = 4096;
  p.sendBufferSize = 1024;
  SerParamBlock block = p.ToBlock();
  const SerParamBlock expected = {30, 0, 3, 0, 0x00, 0xC2, 0x01, 0x00, 7, 'E', 2, 2, 0x11, 0x13,
                                  0x00, 0x10, 0, 0, 0x00, 0x04, 0, 0, 128, 0, 0, 0, 128, 0, 0, 0};
  EXPECT_EQ(block, expected);

  SerPortParams back = SerPortParams::FromBlock(block.data());
  EXPECT_EQ(back.port, 3);
  EXPECT_EQ(back.baud, 115200u);
  EXPECT_EQ(back.parity, 'E');
  EXPECT_EQ(back.sendBufferSize, 1024u);
  EXPECT_EQ(back.ToBlock(), block);
}

TEST(SerialParams, DataBitsParityAndStopBitsMapToControlFlags) {
  EXPECT_EQ(Flags(Params(8, 'N', 1)) & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), CS8);
  EXPECT_EQ(Flags(Params(7, 'E', 1)) & (CSIZE | PARENB | PARODD | CMSPAR), CS7 | PARENB);
  EXPECT_EQ(Flags(Params(7, 'O', 1)) & (CSIZE | PARENB | PARODD | CMSPAR), CS7 | PARENB | PARODD);
  EXPECT_EQ(Flags(Params(7, 'M', 1)) & (PARENB | PARODD | CMSPAR), PARENB | PARODD | CMSPAR);
  EXPECT_EQ(Flags(Params(7, 'S', 1)) & (PARENB | PARODD | CMSPAR), PARENB | CMSPAR);
  EXPECT_EQ(Flags(Params(6, 'N', 2)) & (CSIZE | CSTOPB), CS6 | CSTOPB);
  EXPECT_EQ(Flags(Params(5, 'N', 1)) & CSIZE, CS5);
  // Receiver on, modem lines do not gate opening, DTR drops on close.
  EXPECT_EQ(Flags(Params(8, 'N', 1)) & (CREAD | CLOCAL | HUPCL), CREAD | CLOCAL | HUPCL);
}

TEST(SerialParams, RawModeKeepsEveryByte) {
  SerTermios t = TranslateSerParams(Params(7, 'E', 1));
  ASSERT_EQ(t.error, 0u);
  // No line editing, echo or signals; no CR/LF translation; no stripping to
  // 7 bits; bytes with parity errors are passed on, not dropped or marked.
  EXPECT_EQ(t.settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.settings.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK | IGNPAR | PARMRK), 0u);
  EXPECT_EQ(t.settings.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.settings.c_cc[VMIN], 0);
  EXPECT_EQ(t.settings.c_cc[VTIME], 0);
}

TEST(SerialParams, HandshakeModes) {
  SerTermios none = TranslateSerParams(Params(8, 'N', 1, 0));
  EXPECT_EQ(none.settings.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(none.settings.c_iflag & (IXON | IXOFF), 0u);

  SerTermios hardware = TranslateSerParams(Params(8, 'N', 1, 1));
  EXPECT_EQ(hardware.settings.c_cflag & CRTSCTS, CRTSCTS);
  EXPECT_EQ(hardware.settings.c_iflag & (IXON | IXOFF), 0u);

  SerPortParams xon = Params(8, 'N', 1, 2);
  xon.xonChar = 0x01;
  xon.xoffChar = 0x02;
  SerTermios soft = TranslateSerParams(xon);
  EXPECT_EQ(soft.settings.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(soft.settings.c_iflag & (IXON | IXOFF | IXANY), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(soft.settings.c_cc[VSTART], 0x01);
  EXPECT_EQ(soft.settings.c_cc[VSTOP], 0x02);
}

TEST(SerialParams, SpeedsFrom300To115200AndBeyond) {
  for (std::uint32_t baud : {300u, 600u, 1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u,
                             115200u, 230400u, 921600u}) {
    SerTermios t = TranslateSerParams(Params(8, 'N', 1, 0, baud));
    ASSERT_EQ(t.error, 0u) << baud;
    EXPECT_EQ(cfgetospeed(&t.settings), *SerBaudToSpeed(baud)) << baud;
    EXPECT_EQ(cfgetispeed(&t.settings), *SerBaudToSpeed(baud)) << baud;
  }
  EXPECT_EQ(*SerBaudToSpeed(9600), B9600);
}

TEST(SerialParams, WhatTermiosCannotExpressIsInvalid) {
  EXPECT_EQ(TranslateSerParams(Params(4, 'N', 1)).error, SER_ERR_INVALID_PARAM);
  EXPECT_EQ(TranslateSerParams(Params(9, 'N', 1)).error, SER_ERR_INVALID_PARAM);
  EXPECT_EQ(TranslateSerParams(Params(8, 'X', 1)).error, SER_ERR_INVALID_PARAM);
  EXPECT_EQ(TranslateSerParams(Params(8, 'e', 1)).error, SER_ERR_INVALID_PARAM);
  EXPECT_EQ(TranslateSerParams(Params(8, 'N', 0)).error, SER_ERR_INVALID_PARAM);
  EXPECT_EQ(TranslateSerParams(Params(8, 'N', 3)).error, SER_ERR_INVALID_PARAM);
  EXPECT_EQ(TranslateSerParams(Params(8, 'N', 1, 3)).error, SER_ERR_INVALID_PARAM);
  EXPECT_EQ(TranslateSerParams(Params(8, 'N', 1, 0, 0)).error, SER_ERR_INVALID_PARAM);
  EXPECT_EQ(TranslateSerParams(Params(8, 'N', 1, 0, 14400)).error, SER_ERR_INVALID_PARAM);
  SerPortParams same = Params(8, 'N', 1, 2);
  same.xoffChar = same.xonChar;
  EXPECT_EQ(TranslateSerParams(same).error, SER_ERR_INVALID_PARAM);
}

TEST(SerialParams, BlockChecksBeforeAnyDevice) {
  auto check = [](SerPortParams p) {
    SerParamBlock block = p.ToBlock();
    SerPortParams out;
    return CheckSerParamBlock(block.data(), out);
  };
  SerPortParams good;
  EXPECT_EQ(check(good), SER_OK);
  SerPortParams p = good;
  p.port = 0;
  EXPECT_EQ(check(p), SER_ERR_INVALID_PORT);
  p.port = 256;
  EXPECT_EQ(check(p), SER_ERR_INVALID_PORT);
  p.port = 255;
  EXPECT_EQ(check(p), SER_OK);
  p = good;
  p.blockSize = 29;
  EXPECT_EQ(check(p), SER_ERR_INVALID_PARAM);
  p = good;
  p.receiveBufferSize = 0;
  EXPECT_EQ(check(p), SER_ERR_INVALID_PARAM);
  p = good;
  p.sendBufferSize = 0xFFFFFFFF;
  EXPECT_EQ(check(p), SER_ERR_NO_MEMORY);
  SerPortParams out;
  EXPECT_EQ(CheckSerParamBlock(nullptr, out), SER_ERR_INVALID_PARAM);
}
