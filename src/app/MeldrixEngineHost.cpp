#include "app/MeldrixEngineHost.h"

#include <poll.h>

#include <deque>
#include <stdexcept>

#include "app/Activation.h"
#include "app/CallMonitorService.h"
#include "app/DioConfiguration.h"
#include "app/MeldrixDdeServer.h"
#include "platform/Cp1252.h"
#include "platform/EventLoop.h"
#include "util/StreamDoc.h"
#include "engine/Korvane.h"
#include "engine/KorvaneCheck.h"
#include "engine/Expansion.h"
#include "engine/MeldrixDoc.h"
#include "platform/PrivateProfile.h"
#include "platform/SerialTermios.h"
#include "platform/UserInterface.h"
#include "util/LogLines.h"
#include "util/StringTable.h"
#include "util/Trace.h"

namespace meldrix {

namespace {

class CMeldrixEngineHost : public IEngineHost {
 public:
  explicit CMeldrixEngineHost(const EngineStartup& startup)
      : doc_(ConfigPaths::Resolve(startup.instanceName)) {
    const std::string path = doc_.GetPaths().configFile;
    // "TRAX"/"TraceServer" of this configuration names the trace server.
    SetTraceConfigFile(path);
    // The configuration is read anew on every lookup, so a reload also
    // reaches the port names.
    config_ = [path](const std::string& section, const std::string& key) {
      return PrivateProfile::GetString(path, section, key);
    };
    SetUiLanguage(PrivateProfile::GetInt(path, "Settings", "Language", 0));
    if (startup.loop) StartDdeService(*startup.loop);
    // COM n through the "Ports" of this configuration.
    serial_ = std::make_shared<CTermiosSerialLibrary>(config_);
    services_.serial = serial_.get();
    services_.config = config_;
    services_.showError = [](const std::string& text) {
      CurrentUserInterface()->MessageBox(text, kApplicationName, kMbOk | kMbIconError);
    };
    services_.log = [this](const std::string& text) { doc_.Write(text + "\n"); };
    services_.expand = [this](const std::string& text) {
      return ExpandText(text, doc_.GetVariables());
    };
    services_.setVariable = [this](const std::string& name, const std::string& value) {
      doc_.GetVariables().SetVariable(name, value);
    };
    // Every byte a source reads goes through its own per-character step.
    doc_.SetSourcePoll([this](CInPort& port) {
      port.Poll(doc_.m_OutPorts, services_, [&port](char c) { return port.AddChar(c); });
    });
    doc_.LoadConfiguration();
    dio_ = std::make_unique<DioConfiguration>([this](const std::string& text) { LogLater(text); });
    dio_->Apply(config_);
    if (startup.loop) StartCallMonitor(*startup.loop);
  }

  ~CMeldrixEngineHost() override {
    callMonitor_.reset();
    if (loop_) {
      loop_->CancelTimer(logTimer_);
      loop_->Unwatch(ddeWatch_);
      loop_->CancelTimer(ddeTimer_);
    }
    dde_.reset();
    if (doc_.IsProcessingActive()) DeactivateProcessing(doc_);
  }

  CStreamDoc& Log() override { return doc_; }
  bool AutoActivate() const override { return doc_.m_AutoActivate; }
  bool IsActive() const override { return doc_.IsProcessingActive(); }

  bool Activate() override {
    if (doc_.IsProcessingActive()) return true;
    return ActivateProcessing(ActivationContext{doc_, doc_, services_, [this] { SendCheck(); }});
  }

  void Deactivate() override { DeactivateProcessing(doc_); }

  bool HasDeviceProtocols() const override {
    if (!doc_.IsProcessingActive()) return false;
    for (const auto& entry : doc_.m_InPorts)
      if (entry->HasDeviceProtocol()) return true;
    return false;
  }

  bool PumpProtocols() override {
    bool inTelegram = false;
    for (auto& entry : doc_.m_InPorts) {
      if (!doc_.IsProcessingActive()) break;
      // Handing control back to the event loop from inside a decoder could run
      // a deactivation or reload that closes this very port; the Ilper decoder
      // therefore acknowledges without handling other waiting work first.
      if (entry->PumpDeviceProtocol(doc_.m_OutPorts, services_, [] {})) inTelegram = true;
    }
    return inTelegram;
  }

  bool Deliver() override { return doc_.DeliverMessages(); }

  bool ConfigurationChanged() override { return doc_.CheckConfigChanged(); }

  void Reload() override {
    doc_.LoadConfiguration();
    SetUiLanguage(PrivateProfile::GetInt(doc_.GetPaths().configFile, "Settings", "Language", 0));
    dio_->Apply(config_);
    if (callMonitor_) callMonitor_->Configure(config_("ISDN", "CallMonitor"));
  }

  void SendCheck() override { korvaneCheck_.Run(doc_.GetKorvane(), doc_); }

  std::string CountersText() const override {
    return LoadText("IDS_TOTAL_MESSAGES") + ": " + std::to_string(doc_.m_TotalMessages) + ", " +
           LoadText("IDS_SENT_MESSAGES") + ": " + std::to_string(doc_.m_SentMessages) + ", " +
           LoadText("IDS_TOTAL_ERRORS") + ": " + std::to_string(doc_.m_TotalErrors);
  }

  EngineCounters Counters() const override {
    return {doc_.m_TotalMessages, doc_.m_SentMessages, doc_.m_TotalErrors};
  }

  std::string OverviewText() override {
    return doc_.GetOverviewText([](const CInPort& port) { return port.Describe(false); },
                                [](const COutPort& port) { return port.Describe(false); });
  }

  std::string ConfigFile() const override { return doc_.GetPaths().configFile; }

  void ConfigurationWritten() override { doc_.RememberConfigTime(); }

  std::uint32_t SendKorvaneCommand(const std::string& command) override {
    return doc_.GetKorvane().Execute(command).hr;
  }
  CMeldrixDoc* Document() override { return &doc_; }

 private:
  // Other programs hand texts to the engine on the topic "Signal". The text
  // of an accepted command is processed right after the command has been
  // answered, so a slow Korvane never makes the caller's execute time out.
  void StartDdeService(EventLoop& loop) {
    dde_ = std::make_unique<CMeldrixDdeServer>([this](const std::string& text) {
      ddeTexts_.push_back(text);
      if (!loop_->TimerPending(ddeTimer_)) ddeTimer_ = loop_->StartTimer(0, [this] { ProcessDdeTexts(); });
    });
    if (!dde_->Create()) {
      std::string why = dde_->CreateError();
      dde_.reset();
      throw std::runtime_error(Cp1252ToUtf8(LoadText("IDS_DDE_NOT_STARTED")) + " (" + why + ")");
    }
    loop_ = &loop;
    ddeWatch_ = loop.Watch(dde_->Descriptor(), POLLIN, [this](short) { dde_->Pump(); });
  }

  void ProcessDdeTexts() {
    while (!ddeTexts_.empty()) {
      std::string text = std::move(ddeTexts_.front());
      ddeTexts_.pop_front();
      doc_.ProcessInternal("DDE", 3, text);
    }
  }

  // A red line written once the loop runs: during start-up the console does
  // not show the log yet, and activation clears it.
  void LogLater(const std::string& text) {
    if (!loop_) {
      WriteRedLine(doc_, text);
      return;
    }
    laterLines_.push_back(text);
    if (!loop_->TimerPending(logTimer_)) logTimer_ = loop_->StartTimer(0, [this] {
      for (const std::string& line : laterLines_) WriteRedLine(doc_, line);
      laterLines_.clear();
    });
  }

  // Incoming calls reach the engine as the internal source "ISDN" (dropped
  // there while processing is inactive).
  void StartCallMonitor(EventLoop& loop) {
    callMonitor_ = std::make_unique<CallMonitorService>(
        loop, [this](const std::string& text) { doc_.ProcessInternal("ISDN", 4, text); },
        [this](const std::string& text, bool error) {
          if (error) LogLater(text);
          else doc_.Write(text + "\n");
        });
    callMonitor_->Configure(config_("ISDN", "CallMonitor"));
  }

  std::shared_ptr<ISerialLibrary> serial_;  // before the document: its sources use it
  CMeldrixDoc doc_;
  CKorvaneCheck korvaneCheck_;
  ConfigValueReader config_;
  OutPortServices services_;
  // After the document: the service hands texts to it.
  EventLoop* loop_ = nullptr;
  std::unique_ptr<CMeldrixDdeServer> dde_;
  std::deque<std::string> ddeTexts_;
  EventLoop::WatchId ddeWatch_ = 0;
  EventLoop::TimerId ddeTimer_ = 0;
  std::unique_ptr<DioConfiguration> dio_;
  std::unique_ptr<CallMonitorService> callMonitor_;
  std::deque<std::string> laterLines_;
  EventLoop::TimerId logTimer_ = 0;
};

}  // namespace

std::unique_ptr<IEngineHost> CreateEngineHost(const EngineStartup& startup) {
  return std::make_unique<CMeldrixEngineHost>(startup);
}

}  // namespace meldrix
