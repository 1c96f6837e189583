// Opening and reading a source through the reader of its kind; the engine's
// side of what the reader delivers.
#include "engine/InPort.h"
#include "engine/OutPort.h"

namespace meldrix {

namespace {

constexpr std::uint32_t kFirstPollMs = 100;

// What a reader feeds: raw copies to the source's output, plain-text bytes to
// the per-character step, decoded telegrams as finished lines.
class CInPortSink : public IMessageSink {
 public:
  CInPortSink(COutPort* output, const std::string* sourceFile, const OutPortServices& services,
              CMessageAssembly& assembly, const std::function<bool(char)>* characterStep)
      : output_(output), sourceFile_(sourceFile), services_(services), assembly_(assembly),
        characterStep_(characterStep) {}

  bool TakeByte(unsigned char byte) override {
    CopyRaw(byte);
    if (characterStep_ && (*characterStep_)(static_cast<char>(byte))) ++finished;
    return finished < CInPort::kMaxMessagesPerPoll;
  }
  void CopyRaw(unsigned char byte) override {
    char c = static_cast<char>(byte);
    if (output_) output_->Send(std::string_view(&c, 1), sourceFile_, services_);
  }
  void TakeTelegram(std::string line) override {
    // Appended to the (empty) line and completed at once.
    assembly_.Line() += line;
    assembly_.CompleteLine();
  }
  void EndOfText() override { assembly_.ClearMultilineTimer(); }

  int finished = 0;

 private:
  COutPort* output_;
  const std::string* sourceFile_;
  const OutPortServices& services_;
  CMessageAssembly& assembly_;
  const std::function<bool(char)>* characterStep_;
};

}  // namespace

bool CInPort::Open(const OutPortServices& services) {
  Close();
  if (!m_Reader || m_ReaderKind != m_Source) {
    m_Reader = MakeMessageSource(*this);
    m_ReaderKind = m_Source;
  }
  if (!m_Reader->Open(services)) return false;
  m_Opened = true;
  m_PollTimer = TimerStart(kFirstPollMs);
  return true;
}

void CInPort::Close() {
  if (m_Reader) m_Reader->Close();
  m_Opened = false;
  m_PollTimer = 0;
}

std::string CInPort::Describe(bool tab) const {
  std::string text = m_Name + (tab ? "\t" : "=");
  if (m_Reader && m_ReaderKind == m_Source) return text + m_Reader->Describe();
  return text + MakeMessageSource(*this)->Describe();
}

int CInPort::Poll(COutPortArray& outputs, const OutPortServices& services,
                  const std::function<bool(char)>& characterStep) {
  if (!m_Opened || m_PollTimer == 0) return 0;
  if (!TimerTimeout(m_PollTimer) && !m_Reader->InputWaiting()) return 0;
  CInPortSink sink(outputs.FindById(m_OutId), m_Reader->FileForOutput(), services, m_Assembly, &characterStep);
  m_PollTimer = TimerStart(m_Reader->Poll(sink, services));
  return sink.finished;
}

bool CInPort::PollDue() const { return m_Opened && m_PollTimer != 0 && TimerTimeout(m_PollTimer); }

bool CInPort::HasDeviceProtocol() const { return m_Opened && m_Reader->HasDeviceProtocol(); }

bool CInPort::PumpDeviceProtocol(COutPortArray& outputs, const OutPortServices& services,
                                 const std::function<void()>& handlePendingEvents) {
  if (!HasDeviceProtocol()) return false;
  CInPortSink sink(outputs.FindById(m_OutId), m_Reader->FileForOutput(), services, m_Assembly, nullptr);
  return m_Reader->PumpDeviceProtocol(sink, handlePendingEvents);
}

}  // namespace meldrix
