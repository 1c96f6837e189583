#include "platform/SerialParams.h"

#include "platform/SerialLibrary.h"

namespace meldrix {

namespace {

void Put16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t Get16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace

SerParamBlock SerPortParams::ToBlock() const {
  SerParamBlock block{};
  Put16(&block[0], blockSize);
  Put16(&block[2], port);
  Put32(&block[4], baud);
  block[8] = dataBits;
  block[9] = parity;
  block[10] = stopBits;
  block[11] = handshake;
  block[12] = xonChar;
  block[13] = xoffChar;
  Put32(&block[14], receiveBufferSize);
  Put32(&block[18], sendBufferSize);
  Put32(&block[22], libraryParam1);
  Put32(&block[26], libraryParam2);
  return block;
}

SerPortParams SerPortParams::FromBlock(const std::uint8_t* block) {
  SerPortParams p;
  p.blockSize = Get16(&block[0]);
  p.port = Get16(&block[2]);
  p.baud = Get32(&block[4]);
  p.dataBits = block[8];
  p.parity = block[9];
  p.stopBits = block[10];
  p.handshake = block[11];
  p.xonChar = block[12];
  p.xoffChar = block[13];
  p.receiveBufferSize = Get32(&block[14]);
  p.sendBufferSize = Get32(&block[18]);
  p.libraryParam1 = Get32(&block[22]);
  p.libraryParam2 = Get32(&block[26]);
  return p;
}

std::optional<speed_t> SerBaudToSpeed(std::uint32_t baud) {
  switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return std::nullopt;
  }
}

SerTermios TranslateSerParams(const SerPortParams& params) {
  SerTermios result;
  termios& t = result.settings;
  auto invalid = [&result] {
    result.error = SER_ERR_INVALID_PARAM;
    return result;
  };

  t.c_iflag = IGNBRK;  // a break is no data byte
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cflag = CREAD | CLOCAL | HUPCL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;

  switch (params.dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return invalid();
  }

  switch (params.parity) {
    case 'N': break;
    case 'E': t.c_cflag |= PARENB; break;
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    case 'M': t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; break;
    default: return invalid();
  }

  switch (params.stopBits) {
    case 1: break;
    case 2: t.c_cflag |= CSTOPB; break;
    default: return invalid();  // 1.5 stop bits have no termios form
  }

  switch (params.handshake) {
    case kSerHandshakeNone: break;
    case kSerHandshakeHardware: t.c_cflag |= CRTSCTS; break;
    case kSerHandshakeXonXoff:
      if (params.xonChar == params.xoffChar) return invalid();
      t.c_iflag |= IXON | IXOFF;
      t.c_cc[VSTART] = params.xonChar;
      t.c_cc[VSTOP] = params.xoffChar;
      break;
    default: return invalid();
  }

  auto speed = SerBaudToSpeed(params.baud);
  if (!speed) return invalid();
  cfsetispeed(&t, *speed);
  cfsetospeed(&t, *speed);
  return result;
}

std::uint32_t CheckSerParamBlock(const std::uint8_t* block, SerPortParams& params) {
  if (!block) return SER_ERR_INVALID_PARAM;
  params = SerPortParams::FromBlock(block);
  if (params.blockSize < kSerParamBlockSize) return SER_ERR_INVALID_PARAM;
  if (params.port == 0 || params.port > 255) return SER_ERR_INVALID_PORT;
  if (std::uint32_t error = TranslateSerParams(params).error) return error;
  if (params.receiveBufferSize == 0 || params.sendBufferSize == 0) return SER_ERR_INVALID_PARAM;
  if (params.receiveBufferSize > kSerMaxBufferSize || params.sendBufferSize > kSerMaxBufferSize)
    return SER_ERR_NO_MEMORY;
  return SER_OK;
}

}  // namespace meldrix
