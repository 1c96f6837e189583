#include "platform/SerialParams.h"

#include <gtest/gtest.h>

#include <functional>

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
  const SerParamBlock block = p.ToBlock();
  EXPECT_EQ(block, (SerParamBlock{30, 0, 3, 0, 0x00, 0xC2, 0x01, 0x00, 7, 'E', 2, 2, 0x11, 0x13, 0x00, 0x10,
                                  0, 0, 0x00, 0x04, 0, 0, 128, 0, 0, 0, 128, 0, 0, 0}));
  EXPECT_EQ(SerPortParams::FromBlock(block.data()).ToBlock(), block);
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
  for (int handshake : {0, 1}) {
    SerTermios t = TranslateSerParams(Params(8, 'N', 1, handshake));
    EXPECT_EQ(t.settings.c_cflag & CRTSCTS, handshake ? CRTSCTS : 0u);
    EXPECT_EQ(t.settings.c_iflag & (IXON | IXOFF), 0u);
  }
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
  for (const SerPortParams& p : {Params(4, 'N', 1), Params(9, 'N', 1), Params(8, 'X', 1), Params(8, 'e', 1),
                                 Params(8, 'N', 0), Params(8, 'N', 3), Params(8, 'N', 1, 3), Params(8, 'N', 1, 0, 0),
                                 Params(8, 'N', 1, 0, 14400)})
    EXPECT_EQ(TranslateSerParams(p).error, SER_ERR_INVALID_PARAM)
        << int(p.dataBits) << p.parity << int(p.stopBits) << " handshake " << int(p.handshake) << " " << p.baud;
  SerPortParams same = Params(8, 'N', 1, 2);
  same.xoffChar = same.xonChar;
  EXPECT_EQ(TranslateSerParams(same).error, SER_ERR_INVALID_PARAM);
}

TEST(SerialParams, BlockChecksBeforeAnyDevice) {
  SerPortParams out;
  EXPECT_EQ(CheckSerParamBlock(nullptr, out), SER_ERR_INVALID_PARAM);
  const std::pair<std::function<void(SerPortParams&)>, std::uint32_t> rows[] = {
      {[](SerPortParams&) {}, SER_OK}, {[](SerPortParams& p) { p.port = 0; }, SER_ERR_INVALID_PORT},
      {[](SerPortParams& p) { p.port = 256; }, SER_ERR_INVALID_PORT}, {[](SerPortParams& p) { p.port = 255; }, SER_OK},
      {[](SerPortParams& p) { p.blockSize = 29; }, SER_ERR_INVALID_PARAM},
      {[](SerPortParams& p) { p.receiveBufferSize = 0; }, SER_ERR_INVALID_PARAM},
      {[](SerPortParams& p) { p.sendBufferSize = 0xFFFFFFFF; }, SER_ERR_NO_MEMORY}};
  for (size_t i = 0; i < std::size(rows); ++i) {
    SerPortParams p;
    rows[i].first(p);
    EXPECT_EQ(CheckSerParamBlock(p.ToBlock().data(), out), rows[i].second) << "row " << i;
  }
}
