// The setup commands of the main window: each dialog edits copies of the
// model and hands them back here, where they replace the model and are saved
// piecewise.
#include <QMessageBox>

#include "app/MainLoop.h"
#include "engine/Korvane.h"
#include "engine/MeldrixDoc.h"
#include "expr/DataValueStorage.h"
#include "expr/ExprEvaluator.h"
#include "platform/PrivateProfile.h"
#include "platform/UserInterface.h"
#include "ui/GeneralSetupDialog.h"
#include "ui/MainFrame.h"
#include "ui/MessageSetupDialog.h"
#include "ui/OutputSetupDialog.h"
#include "ui/QtText.h"
#include "ui/SourceSetupDialog.h"

namespace meldrix {

namespace {

ConfigValueReader FileReader(const std::string& file) {
  return [file](const std::string& section, const std::string& key) {
    return PrivateProfile::GetString(file, section, key);
  };
}

std::vector<OutDestSettings> OutputsOf(const CMeldrixDoc& doc) {
  std::vector<OutDestSettings> outputs;
  for (const auto& port : doc.m_OutPorts) outputs.push_back(*port);
  return outputs;
}

// Processing stops while sources or outputs are set up (their ports and
// files must be free) and resumes afterwards when it ran before.
class PausedProcessing {
 public:
  PausedProcessing(ProgramContext& context, CEnginePump& pump) : context_(context), pump_(pump) {
    wasActive_ = context_.engine.IsActive();
    if (wasActive_) pump_.Hold([&] { context_.engine.Deactivate(); });
  }
  ~PausedProcessing() {
    if (wasActive_ && !context_.engine.IsActive())
      pump_.Hold([&] { context_.mainLoop.Activate(); });
  }
  PausedProcessing(const PausedProcessing&) = delete;
  PausedProcessing& operator=(const PausedProcessing&) = delete;

 private:
  ProgramContext& context_;
  CEnginePump& pump_;
  bool wasActive_ = false;
};

}  // namespace

bool CMainFrame::SaveSetup(std::optional<std::int64_t> openedAt, const std::function<bool()>& apply) {
  CMeldrixDoc& doc = *context_.engine.Document();
  bool outside = false;
  // The supervision may have read the file again while the dialog was open:
  // then the remembered time moved, and the dialog's copy is stale too.
  pump_.Hold([&] { outside = doc.CheckConfigChanged() || doc.GetRememberedConfigTime() != openedAt; });
  if (outside) {
    const auto answer = QMessageBox::question(this, FromCp1252(kApplicationName), UiText("IDS_SETUP_OUTSIDE_CHANGE"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) {
      // The file wins: the model is read from it again, the edits are dropped.
      pump_.Hold([&] { context_.mainLoop.ReloadConfiguration(); });
      return false;
    }
  }
  bool ok = false;
  pump_.Hold([&] {
    ok = apply();
    // The other sections changed outside are taken in now; the save has moved
    // the remembered time past them.
    if (outside) context_.mainLoop.ReloadConfiguration();
  });
  if (!ok) ReportWriteFailure();
  return ok;
}

void CMainFrame::SetupSources() {
  CMeldrixDoc* doc = context_.engine.Document();
  if (!doc) return;
  PausedProcessing paused(context_, pump_);
  std::vector<InSourceSettings> sources;
  for (const auto& port : doc->m_InPorts) sources.push_back(*port);
  const auto opened = doc->GetRememberedConfigTime();
  CSourceSetupDialog dialog(std::move(sources), OutputsOf(*doc), FileReader(context_.engine.ConfigFile()), this);
  if (dialog.exec() != QDialog::Accepted) return;
  SaveSetup(opened, [&] {
    doc->m_InPorts.RemoveAll();
    for (const InSourceSettings& settings : dialog.Sources())
      static_cast<InSourceSettings&>(doc->m_InPorts.AddNew()) = settings;
    return doc->SaveInPorts();
  });
}

void CMainFrame::SetupOutputs() {
  CMeldrixDoc* doc = context_.engine.Document();
  if (!doc) return;
  PausedProcessing paused(context_, pump_);
  auto check = [](const std::string& text) {
    CDataValueStorage store(false);
    return CheckText(text, store);
  };
  const auto opened = doc->GetRememberedConfigTime();
  COutputSetupDialog dialog(OutputsOf(*doc), FileReader(context_.engine.ConfigFile()), check, this);
  if (dialog.exec() != QDialog::Accepted) return;
  SaveSetup(opened, [&] {
    doc->m_OutPorts.RemoveAll();
    for (const OutDestSettings& settings : dialog.Outputs())
      static_cast<OutDestSettings&>(doc->m_OutPorts.AddNew()) = settings;
    return doc->SaveOutPorts();
  });
}

void CMainFrame::SetupMessages() {
  CMeldrixDoc* doc = context_.engine.Document();
  if (!doc) return;
  std::vector<CMessage> messages;
  for (const auto& message : doc->m_Messages) messages.push_back(*message);
  // Korvane's receivers and groups are offered when it answers; otherwise
  // receivers are typed.
  std::vector<std::string> receivers;
  pump_.Hold([&] {
    // The lists are a convenience: a Korvane that hangs must not hold the
    // dialog back for the full command timeout.
    if (auto* client = dynamic_cast<CKorvane*>(&doc->GetKorvane())) {
      CKorvane quick(client->Endpoint(), std::chrono::seconds(3));
      receivers = ReadKorvaneReceivers(quick);
    } else {
      receivers = ReadKorvaneReceivers(doc->GetKorvane());
    }
  });
  const auto opened = doc->GetRememberedConfigTime();
  CMessageSetupDialog dialog(std::move(messages), receivers, this);
  if (dialog.exec() != QDialog::Accepted) return;
  SaveSetup(opened, [&] {
    doc->m_Messages.RemoveAll();
    for (const CMessage& message : dialog.Messages()) doc->m_Messages.AddNew(message).PrepareFilters();
    return doc->SaveMessages();
  });
}

void CMainFrame::SetupGeneral() {
  CMeldrixDoc* doc = context_.engine.Document();
  if (!doc) return;
  const auto opened = doc->GetRememberedConfigTime();
  CGeneralSetupDialog dialog(ReadGeneralSetup(*doc), this);
  if (dialog.exec() != QDialog::Accepted) return;
  const GeneralSetup before = ReadGeneralSetup(*doc);
  SaveSetup(opened, [&] {
    const bool ok = WriteGeneralSetup(*doc, dialog.Values());
    // A new Korvane endpoint or trace server takes effect with the next read
    // of the file.
    if (ok && (before.korvaneEndpoint != dialog.Values().korvaneEndpoint ||
               before.traceServer != dialog.Values().traceServer))
      context_.mainLoop.ReloadConfiguration();
    return ok;
  });
}

}  // namespace meldrix
