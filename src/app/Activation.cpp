#include "app/Activation.h"

#include "util/LogLines.h"
#include "util/StreamDoc.h"
#include "engine/MeldrixDoc.h"
#include "sources/SerialSourceErrors.h"
#include "util/StringTable.h"

namespace meldrix {

namespace {

void FailActivation(const ActivationContext& context, const std::string& message) {
  WriteRedLine(context.log, message);
  context.doc.m_AutoActivate = false;
  context.doc.SaveAutoActivate();
  DeactivateProcessing(context.doc);
}

}  // namespace

bool ActivateProcessing(const ActivationContext& context) {
  CMeldrixDoc& doc = context.doc;
  // Activation needs a source, a configured ISDN call monitor or the SMTP
  // sink; the sink is always enabled, so activation never lacks a source.
  context.log.Clear();
  context.log.SetColour(0);

  doc.ConfigureAssembly();  // end-of-message sequence and assembly settings
  for (auto& port : doc.m_InPorts) {
    if (!port->Open(context.services)) {
      FailActivation(context, FillText(LoadText("IDS_COULD_NOT_OPEN_SOURCE"),
                                       {port->Describe(false)}));
      return false;
    }
  }
  for (auto& output : doc.m_OutPorts) {
    // A file name known only when a message comes is opened then.
    if (output->m_Dest == COutPort::kFileDest && output->FileNameIsComputed()) continue;
    if (!output->Open(context.services)) {
      FailActivation(context, FillText(LoadText("IDS_COULD_NOT_OPEN_DEST"),
                                       {output->Describe(false)}));
      return false;
    }
    if (output->m_FileMode) output->Close();  // opened again for each message
  }
  if (context.sendCheck) context.sendCheck();
  doc.SetProcessingActive(true);
  // Started once processing is active: a mail taken before that would be
  // answered "ok" and then dropped. A port that cannot be bound leaves the
  // sink off with a log line; activation goes on without it.
  doc.StartMailSink();
  return true;
}

void DeactivateProcessing(CMeldrixDoc& doc) {
  // No new mails from here on; the connection threads have ended, so every
  // mail answered "250 ok." is in the queue.
  doc.StopMailSink();
  // Queued mail lines (bounded in time), then what the sources hold or have
  // packed, are handed over before the sources close.
  if (doc.IsProcessingActive()) doc.DeliverBeforeDeactivation();
  for (auto& port : doc.m_InPorts) port->Close();
  for (auto& output : doc.m_OutPorts) output->Close();
  doc.SetProcessingActive(false);
}

}  // namespace meldrix
