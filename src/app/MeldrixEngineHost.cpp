#include "app/MeldrixEngineHost.h"

#include "app/Activation.h"
#include "app/StreamDoc.h"
#include "engine/Korvane.h"
#include "engine/MeldrixDoc.h"
#include "platform/PrivateProfile.h"
#include "platform/SerialTermios.h"
#include "platform/UserInterface.h"
#include "app/LogLines.h"
#include "util/StringTable.h"

namespace meldrix {

namespace {

class CMeldrixEngineHost : public IEngineHost {
 public:
  explicit CMeldrixEngineHost(const EngineStartup& startup)
      : doc_(ConfigPaths::Resolve(startup.instanceName)) {
    const std::string path = doc_.GetPaths().configFile;
    // The configuration is read anew on every lookup, so a reload also
    // reaches the port names and the Korvane endpoint.
    config_ = [path](const std::string& section, const std::string& key) {
      return PrivateProfile::GetString(path, section, key);
    };
    SetUiLanguage(PrivateProfile::GetInt(path, "Settings", "Language", 0));
    SetSerialLibrary(std::make_shared<CTermiosSerialLibrary>(config_));
    services_.config = config_;
    services_.showError = [](const std::string& text) {
      CurrentUserInterface()->MessageBox(text, kApplicationName, kMbOk | kMbIconError);
    };
    doc_.LoadConfiguration();
  }

  ~CMeldrixEngineHost() override {
    if (doc_.m_Active) DeactivateProcessing(doc_);
    SetSerialLibrary(nullptr);
  }

  CStreamDoc& Log() override { return log_; }
  bool AutoActivate() const override { return doc_.m_AutoActivate; }
  bool IsActive() const override { return doc_.m_Active; }

  bool Activate() override {
    if (doc_.m_Active) return true;
    return ActivateProcessing(ActivationContext{doc_, log_, services_, [this] { SendCheck(); }});
  }

  void Deactivate() override { DeactivateProcessing(doc_); }

  bool PumpProtocols() override { return false; }

  void Deliver() override {
    for (auto& port : doc_.m_InPorts)
      port->Poll(doc_.m_OutPorts, services_, [](char) { return false; });
  }

  bool ConfigurationChanged() override { return doc_.CheckConfigChanged(); }

  void Reload() override {
    doc_.LoadConfiguration();
    SetUiLanguage(PrivateProfile::GetInt(doc_.GetPaths().configFile, "Settings", "Language", 0));
  }

  void SendCheck() override {
    CKorvane korvane(KorvaneEndpointSetting(config_));
    KorvaneResult result = korvane.Execute("[check(Meldrix)]");
    if (!result.Succeeded()) {
      char code[16];
      std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(result.hr));
      WriteRedLine(log_, std::string("ERROR(") + code + "): [check(Meldrix)]");
    }
  }

  std::string CountersText() const override {
    return LoadText("IDS_TOTAL_MESSAGES") + ": " + std::to_string(totalMessages_) + ", " +
           LoadText("IDS_SENT_MESSAGES") + ": " + std::to_string(sentMessages_) + ", " +
           LoadText("IDS_TOTAL_ERRORS") + ": " + std::to_string(totalErrors_);
  }

 private:
  CMeldrixDoc doc_;
  CStreamDoc log_{2400, 132};
  ConfigValueReader config_;
  OutPortServices services_;
  long totalMessages_ = 0, sentMessages_ = 0, totalErrors_ = 0;
};

}  // namespace

std::unique_ptr<IEngineHost> CreateEngineHost(const EngineStartup& startup) {
  return std::make_unique<CMeldrixEngineHost>(startup);
}

}  // namespace meldrix
