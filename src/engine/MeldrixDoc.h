// CMeldrixDoc: the engine document. It owns the configuration model (general
// settings, sources, outputs, messages) and keeps it in step with the
// configuration file: loading, the piecewise saves of the setup, and the
// check for changes made from outside.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/StreamDoc.h"
#include "dde/DDEValueAccess.h"
#include "engine/Assembly.h"
#include "engine/ConfigPaths.h"
#include "engine/InPort.h"
#include "engine/Korvane.h"
#include "engine/MailLineQueue.h"
#include "engine/Message.h"
#include "engine/OutPort.h"
#include "engine/Profile.h"
#include "engine/VariableStore.h"
#include "expr/DataValueStorage.h"
#include "opc/OpcClient.h"
#include "sources/SmtpSink.h"

namespace meldrix {

// The document is also the log's line store: the engine writes its log to
// itself.
class CMeldrixDoc : public CStreamDoc {
 public:
  // Section "Settings"; keys, defaults (set by the constructor) and how each
  // is saved: the tables in MeldrixDocConfig.cpp.
  bool m_AutoActivate;
  int m_UsedCharset;  // 0 Windows ANSI, 1 IBM-PC, 2 DIN 66003
  int m_MoreLineMessages;
  int m_FilterEscapes;
  int m_RemoveLeadingSpaces;
  long m_MultilineTimeout;  // ms
  int m_ShowInMessages;
  int m_ShowSentMessages;
  int m_UseLineTimeout;
  long m_LineTimeout;  // ms
  std::string m_EndOfMessage;  // escape notation, "\\n" is backslash and n
  char m_CtrlReplaceChar;  // read only, never written
  long m_MaxMessageLength;
  long m_MaxPackedLength;
  int m_ReplaceControlChars;

  // Section "MailServer"
  int m_UseSubject;
  int m_UseBody;
  int m_PackBody;
  int m_IncMailFrom;
  int m_IncMailTo;
  int m_SmtpPort;  // TCP port of the SMTP sink

  CMessageArray m_Messages;  // in matching order
  CInPortArray m_InPorts;
  COutPortArray m_OutPorts;

  explicit CMeldrixDoc(ConfigPaths paths);
  CMeldrixDoc(const CMeldrixDoc&) = delete;
  CMeldrixDoc& operator=(const CMeldrixDoc&) = delete;

  const ConfigPaths& GetPaths() const { return m_Paths; }
  CProfile& GetProfile() { return m_Profile; }

  // Reads the whole configuration (general settings, mail settings, messages,
  // sources, outputs) from one state of the file and remembers its time. A
  // missing file or key yields the defaults.
  void LoadConfiguration();
  void LoadSettings();
  void LoadMailSettings();
  void LoadMessages();
  void LoadInPorts();
  void LoadOutPorts();

  // The piecewise saves of the setup. Each replaces the file in one atomic
  // step and then takes the file's time again, so our own write is not taken
  // for an outside change. False when the file could not be written; the file
  // is then unchanged.
  bool SaveSettings();
  bool SaveMailSettings();
  bool SaveInPorts();
  bool SaveOutPorts();
  bool SaveMessages();
  // Writes "AutoActivate" alone (activation failures switch it off).
  bool SaveAutoActivate();

  // Remembers the configuration file's current last-write time; call after
  // every write to the file made by the program itself.
  void RememberConfigTime();
  std::optional<std::int64_t> GetRememberedConfigTime() const { return m_ConfigFileTime; }

  // The supervision check: applies the master-copy rule, then reports whether
  // the file's last-write time differs from the remembered one, in which case
  // the caller reloads (deactivating around it when active). A file that has
  // vanished is not a change: the loaded configuration stays in use until a
  // file is there again.
  bool CheckConfigChanged();

  // ---- Message assembly, processing and sending ----
  // Counters of the status bar; they start at 0 with the document and are
  // never reset while it lives.
  std::uint32_t m_TotalMessages = 0;
  std::uint32_t m_SentMessages = 0;
  std::uint32_t m_TotalErrors = 0;

  // Whether processing is active: sources are read and messages delivered
  // only then. Activation and deactivation set it.
  bool IsProcessingActive() const { return m_ProcessingActive; }
  void SetProcessingActive(bool active) { m_ProcessingActive = active; }

  // The assembly settings of the loaded configuration, end-of-message
  // sequence already prepared; ConfigureAssembly copies them into every
  // source (done at every activation).
  AssemblySettings GetAssemblySettings() const;
  void ConfigureAssembly();

  // Matches one incoming text of one source against the configured messages
  // and sends what matches. True when processing stopped at a matching
  // message (counted as sent by the caller).
  bool Process(CInPort& source, const std::string& text);
  // Sends one text to the receivers through Korvane, with its log lines.
  // True when Korvane accepted it; a failure is logged and counted.
  bool Send(const std::string& messageName, const std::string& receivers,
            const std::string& text);
  // Sends the source's packed message, if one waits, and clears it.
  void SendPackedMessage(CInPort& source);
  // Send as the packers of the sources use it.
  CMessagePacker::SendFunction PackedSend();

  // The delivery step (every 100 ms while active): queued mail lines as the
  // internal source "Mail", then source by source: poll it (the hook below),
  // finish its timers, process its finished messages, send its packed
  // message when the pack timer has run out. Rounds repeat while anything
  // waits, each taking at most kMaxMessagesPerPoll messages from one source
  // before serving the next, until all are empty or `budget` is used up.
  // Returns true when work is left, for a next pass at once; the next pass
  // begins with the source the budget stopped at, so none starves.
  static constexpr std::chrono::milliseconds kDeliveryBudget{50};
  bool DeliverMessages(std::chrono::milliseconds budget = kDeliveryBudget);
  // Before processing stops (deactivation, reload): every source's held
  // multi-line message and finished messages are processed and its packed
  // message is sent, so a reload that rebuilds the sources loses none of
  // them. Call while processing is still active. Queued mail lines go
  // first, within mailTimeLimit; what is left then is logged in red, each
  // with its text, and counted as an error.
  static constexpr std::chrono::milliseconds kMailDrainTimeLimit{10000};
  void DeliverBeforeDeactivation(std::chrono::milliseconds mailTimeLimit = kMailDrainTimeLimit);
  // One text of an internal source ("DDE" kind 3, "ISDN" kind 4) that exists
  // for this call only; nothing happens while processing is inactive. A
  // packed message still waiting when the call ends is sent then, as no timer
  // is left to send it.
  bool ProcessInternal(const std::string& name, int kind, const std::string& text);

  // Reads one source's input into its assembly; called by the delivery step
  // for every source in list order. Without a hook sources only hold what
  // was fed to them with CInPort::AddChar.
  using SourcePoll = std::function<void(CInPort&)>;
  void SetSourcePoll(SourcePoll poll) { m_SourcePoll = std::move(poll); }

  // Korvane: the socket client at the configured endpoint (section "Korvane",
  // key "Endpoint") unless another one is set (tests use a fake).
  void SetKorvane(std::shared_ptr<IKorvane> korvane) { m_Korvane = std::move(korvane); }
  IKorvane& GetKorvane();

  // The expression variables of the whole run: a value assigned in one
  // message text can be read by a later one. Safe to use from any thread.
  IVariableStore& GetVariables() { return m_Variables; }
  // The same store as the evaluator sees it.
  CDataValueStorage& GetDataValues() { return m_DataValues; }

  // Lines of mails received by the SMTP sink; other threads append to it.
  CMailLineQueue& GetMailLineQueue() { return m_MailLines; }

  // The overview of sources and outputs: each source's description, the
  // description of its output (or "<none>"), an empty line between them.
  // ---- The SMTP sink (engine/MailSink.cpp) ----
  // Listens on m_SmtpPort with the "MailServer" settings; a port that cannot
  // be bound leaves it off with a red log line. Main thread only.
  bool StartMailSink();
  void StopMailSink();
  CSmtpSink& GetSmtpSink() { return *m_SmtpSink; }
  // Writes the sink's log lines collected on connection threads into the
  // log; called by the main thread (the delivery step does).
  void ShowMailSinkLog();

  std::string GetOverviewText(const std::function<std::string(const CInPort&)>& describeSource,
                              const std::function<std::string(const COutPort&)>& describeOutput);

 private:
  // Called at the start of every configuration load: the log is cleared and
  // widened, a default Korvane client is made anew from the file.
  void OnConfigurationLoading();
  // Delivers the queued mail lines within timeLimit (DeliverBeforeDeactivation).
  void DrainMailLines(std::chrono::milliseconds timeLimit);
  // One round of the delivery step for the mail lines (into `mail`, made
  // at the first line) or one source; true when it has more waiting.
  bool DeliverMailRound(std::optional<CInPort>& mail, std::chrono::steady_clock::time_point deadline);
  bool DeliverSourceRound(CInPort& port, std::chrono::steady_clock::time_point deadline);
  // One finished text of a source: process and count it.
  void DeliverText(CInPort& source, std::string text, bool convertCharset);
  // Writes a log line in a colour; the colour returns to the default after it.
  void ShowLine(std::uint32_t colour, std::string_view text);

  // Read by the SMTP sink's connection threads too.
  std::atomic<bool> m_ProcessingActive{false};
  SourcePoll m_SourcePoll;
  // Where the next delivery pass begins: 0 the mail lines, n the n-th source.
  std::size_t m_DeliveryStart = 0;
  std::shared_ptr<IKorvane> m_Korvane;
  bool m_KorvaneFromConfig = false;  // m_Korvane was made from the file
  // DDE references of the expressions reach other programs' services, OPC
  // references OPC UA servers (section "OPC", read at each connect).
  std::shared_ptr<COpcClient> m_Opc = std::make_shared<COpcClient>();
  CDataValueStorage m_DataValues{true, std::make_shared<CDDEValueAccess>(), m_Opc};
  CDataValueVariableStore m_Variables{m_DataValues};
  CMailLineQueue m_MailLines;
  // What the SMTP sink's connection threads see of the document.
  class MailBridge : public IMailLineSink, public IMailVariableSetter {
   public:
    explicit MailBridge(CMeldrixDoc& doc) : m_Doc(doc) {}
    bool IsProcessingActive() const override { return m_Doc.m_ProcessingActive; }
    bool QueueMailLines(std::vector<std::string> texts) override;
    void SetVariable(const std::string& name, const std::string& value) override;

   private:
    CMeldrixDoc& m_Doc;
  };
  MailBridge m_MailBridge{*this};
  // Log lines of the sink wait here until the main thread shows them: the
  // log store belongs to the main thread.
  std::mutex m_MailLogMutex;
  std::vector<std::string> m_MailLog;
  // Last of these members, so it is stopped before what its threads use.
  std::unique_ptr<CSmtpSink> m_SmtpSink;
  // ---- end of message assembly, processing and sending ----

 private:
  bool FinishSave(bool ok, std::optional<std::int64_t> timeBefore);

  ConfigPaths m_Paths;
  CProfile m_Profile;
  std::optional<std::int64_t> m_ConfigFileTime;
};

}  // namespace meldrix
