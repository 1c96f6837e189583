// Reading a source: the serial kind with plain text and the file kind.
#include "engine/InPort.h"
#include "engine/OutPort.h"
#include "util/Trace.h"

namespace meldrix {

namespace {

constexpr std::uint32_t kSerialPollMs = 100;

}  // namespace

void CInPort::PollSocket(const SourceByteFeed& feed) {
  if (!m_SocketIn) return;
  // One received block per poll, in arrival order.
  auto result = m_SocketIn->Poll([&](char c) { return feed(static_cast<unsigned char>(c)); });
  if (result == CSocketBufferList::PollResult::ReceiveError) TraceMessage(kTraceSocketErrors, "Socket receive error\n");
}

int CInPort::Poll(COutPortArray& outputs, const OutPortServices& services,
                  const std::function<bool(char)>& characterStep) {
  if (!m_Opened || m_PollTimer == 0 || !TimerTimeout(m_PollTimer)) return 0;

  COutPort* output = outputs.FindById(m_OutId);
  const std::string* sourceFile = m_Source == kTextFile ? &m_File : nullptr;
  int finished = 0;
  // Each byte goes raw to the output first, then into the message assembly.
  SourceByteFeed feed = [&](unsigned char byte) {
    char c = static_cast<char>(byte);
    if (output) output->Send(std::string_view(&c, 1), sourceFile, services);
    if (characterStep(c)) ++finished;
    return finished < kMaxMessagesPerPoll;
  };

  switch (m_Source) {
    case kSerial:
      if (m_Protocol != kPlainText) {
        // The device protocols take the bytes in their own pumping step.
        m_PollTimer = TimerStart(kSerialPollMs);
      } else if (m_SerialIn.ReadWaiting(feed)) {
        m_PollTimer = TimerStart(kSerialPollMs);
      } else {
        m_PollTimer = TimerStart(0);  // the rest waits: read on at the next poll
      }
      break;
    case kTextFile: {
      std::string path = services.expand ? services.expand(m_File) : m_File;
      FilePollResult result = m_FileIn.Poll(path, m_RemoveFile, feed);
      m_PollTimer = TimerStart(result.limitReached    ? 0
                               : result.someNotOpened ? kFileRetryMs
                                                      : kFileIdleMs);
      break;
    }
    case kSocket:
      PollSocket(feed);
      m_PollTimer = TimerStart(kSerialPollMs);
      break;
    default:
      m_PollTimer = TimerStart(kSerialPollMs);
      break;
  }
  return finished;
}

}  // namespace meldrix
