#include "sources/SiedleProtocol.h"

#include <cstdio>

#include "util/Trace.h"

namespace meldrix {

namespace {

// Length of an event telegram's function info (function 0x4A): 14 bytes.
constexpr size_t kEventInfoDigits = 28;
constexpr int kEventFunction = 0x4A;

int HexValue(const std::string& digits) {
  int value = 0;
  for (char c : digits) {
    int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : 0;
    value = value * 16 + d;
  }
  return value;
}

const char* Pick(int index, std::initializer_list<const char*> names) {
  if (index < 0 || static_cast<size_t>(index) >= names.size()) return nullptr;
  return names.begin()[index];
}

// The words for an event code; P and S are the parameter bytes as hex digits,
// P4 both together.
std::string EventText(int code, const std::string& p, const std::string& s, const std::string& p4) {
  const bool sZero = s == "00";
  const int pValue = HexValue(p);
  switch (code) {
    case 0x0100:
      return "Eingang" + p + (sZero ? " geschlossen" : " ge\xF6" "ffnet");
    case 0x0101:
      return "Ausgang" + p + (sZero ? " geschlossen" : " ge\xF6" "ffnet");
    case 0x0200:
      return "T\xFCrruf";
    case 0x0201:
      return "H\xF6rer abgenommen";
    case 0x0202:
      return "H\xF6rer aufgelegt";
    case 0x0203:
    case 0x0204:
      return "Rufe Teilnehmer";
    case 0x0205:
      return std::string("Videoverbindung") + (p == "FF" ? " on" : " off");
    case 0x0206:
      return "T\xFCr\xF6" "ffner";
    case 0x0207:
      return "Licht";
    case 0x0208: {
      const char* word = Pick(pValue, {"Stop", "Ein", "Aus", "oben", "unten", "links", "rechts", "Zoom+",
                                       "Zoom-", "Focus+", "Focus-"});
      return "Kamera " + (word ? std::string(word) : p);
    }
    case 0x0400:
      // The opposite sense of S from 0x0402.
      return "Meldung " + p + (sZero ? " aktiviert" : " gel\xF6scht");
    case 0x0401:
      return "Systemfunktion " + p4;
    case 0x0402: {
      const char* word = Pick(pValue, {"Alarmruf", "Feueralarm", "Gasalarm", "Zeitalarm", "Notruf",
                                       "Personalalarm", "Sabotagealarm", "Schwesternruf"});
      return (word ? std::string(word) : p) + (sZero ? " gel\xF6scht" : " aktiviert");
    }
    default:
      return "";
  }
}

}  // namespace

std::string SiedleProtocol::TelegramText(int receiver, int function, int sender, const std::string& functionInfo) {
  if (function == kEventFunction && functionInfo.size() == kEventInfoDigits) {
    std::string text = "Z=" + functionInfo.substr(0, 6) + ":";
    text += "Q=" + functionInfo.substr(6, 6) + ":";
    text += EventText(HexValue(functionInfo.substr(12, 4)), functionInfo.substr(18, 2), functionInfo.substr(20, 2),
                      functionInfo.substr(18, 4));
    return text;
  }
  char head[16];
  std::snprintf(head, sizeof head, "%02X->%02X:%02X:", sender & 0xFF, receiver & 0xFF, function & 0xFF);
  return head + functionInfo;
}

void SiedleProtocol::Feed(unsigned char byte, ProtocolPort& port, const ProtocolLineSink& sink) {
  bool escaped = false;
  if (escapePending_) {
    escapePending_ = false;
    escaped = true;
  } else if (byte == kDle) {
    sum_ += kDle;  // every DLE counts in the checksum
    escapePending_ = true;
    return;
  }

  TraceMessage(kTraceProtocolBytes, " Siedle(%d)RX(%02X)", state_, byte);
  switch (state_) {
    case 0:
      if (byte == kStx) {
        sum_ = 0;
        state_ = 1;
        TraceMessage(kTraceProtocolState, " Siedle(1)");
      }
      break;
    case 1:
      sum_ += byte;
      receiver_ = byte;
      state_ = 2;
      TraceMessage(kTraceProtocolState, " Siedle(2)");
      break;
    case 2:
      sum_ += byte;
      function_ = byte;
      functionInfo_.clear();
      state_ = 3;
      TraceMessage(kTraceProtocolState, " Siedle(3)");
      break;
    case 3:
      sum_ += byte;
      sender_ = byte;
      state_ = 4;
      TraceMessage(kTraceProtocolState, " Siedle(4)");
      break;
    case 4:
      if (byte == kEtx && !escaped) {
        EndOfTelegram(port, sink);
        break;
      }
      {
        // The checksum byte is collected here too until ETX comes.
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        functionInfo_ += digits;
        sum_ += byte;
        if (functionInfo_.size() > kMaxFunctionInfo) {
          TraceMessage(kTraceProtocolState, " Siedle(0): FunctionInfo too long\n");
          state_ = 0;
        }
      }
      break;
    default:
      TraceMessage(kTraceProtocolState, " Siedle(0): Invalid ProtState\n");
      state_ = 0;
      break;
  }
}

void SiedleProtocol::EndOfTelegram(ProtocolPort& port, const ProtocolLineSink& sink) {
  // A telegram without even a checksum byte cannot be checked; it is dropped
  // like one with a wrong checksum.
  const bool hasChecksum = functionInfo_.size() >= 2;
  if (hasChecksum) functionInfo_.resize(functionInfo_.size() - 2);
  state_ = 0;
  TraceMessage(kTraceProtocolState, " Siedle(0)");
  // The sum covers every byte after STX, the checksum byte and every DLE.
  if (sum_ != 0 || !hasChecksum) {
    TraceMessage(kTraceProtocolState, "Siedle invalid checksum (%02X)", sum_);
    return;
  }
  if (receiver_ != kBroadcast) {
    port.SendChar(kAck);
    port.ReceiveFlush();
  }
  if (sink) sink(TelegramText(receiver_, function_, sender_, functionInfo_));
}

}  // namespace meldrix
