#include "ui/GeneralSetupDialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "engine/Korvane.h"
#include "engine/MeldrixDoc.h"
#include "ui/QtText.h"
#include "ui/SetupForm.h"

namespace meldrix {

namespace {

constexpr char kTraceDefault[] = ".";

QCheckBox* AddCheck(QFormLayout* form, const char* textId, const char* objectName, int value) {
  auto* box = new QCheckBox(UiText(textId), form->parentWidget());
  box->setObjectName(objectName);
  box->setChecked(value != 0);
  form->addRow(box);
  return box;
}

// A flag that was stored as some other non-zero value keeps it unless the
// box changed.
int FlagOf(const QCheckBox* box, int old) {
  return box->isChecked() == (old != 0) ? old : (box->isChecked() ? 1 : 0);
}

QSpinBox* AddSpin(QFormLayout* form, const char* textId, const char* objectName, int low, int high, long value) {
  auto* spin = new QSpinBox(form->parentWidget());
  spin->setRange(low, high);
  spin->setValue(static_cast<int>(value));
  AddRow(form, textId, spin, objectName);
  return spin;
}

QFormLayout* AddTab(QTabWidget* tabs, const char* textId) {
  auto* page = new QWidget(tabs);
  auto* form = new QFormLayout(page);
  tabs->addTab(page, UiText(textId));
  return form;
}

}  // namespace

GeneralSetup ReadGeneralSetup(CMeldrixDoc& doc) {
  GeneralSetup v;
  v.autoActivate = doc.m_AutoActivate;
  v.usedCharset = doc.m_UsedCharset;
  v.moreLineMessages = doc.m_MoreLineMessages;
  v.filterEscapes = doc.m_FilterEscapes;
  v.removeLeadingSpaces = doc.m_RemoveLeadingSpaces;
  v.multilineTimeout = doc.m_MultilineTimeout;
  v.showInMessages = doc.m_ShowInMessages;
  v.showSentMessages = doc.m_ShowSentMessages;
  v.useLineTimeout = doc.m_UseLineTimeout;
  v.lineTimeout = doc.m_LineTimeout;
  v.endOfMessage = doc.m_EndOfMessage;
  v.ctrlReplaceChar = doc.m_CtrlReplaceChar;
  v.maxMessageLength = doc.m_MaxMessageLength;
  v.maxPackedLength = doc.m_MaxPackedLength;
  v.replaceControlChars = doc.m_ReplaceControlChars;
  v.useSubject = doc.m_UseSubject;
  v.useBody = doc.m_UseBody;
  v.packBody = doc.m_PackBody;
  v.incMailFrom = doc.m_IncMailFrom;
  v.incMailTo = doc.m_IncMailTo;
  v.smtpPort = doc.m_SmtpPort;
  v.korvaneEndpoint = CSection(doc.GetProfile(), "Korvane").GetString("Endpoint", kKorvaneDefaultEndpoint);
  v.traceServer = CSection(doc.GetProfile(), "TRAX").GetString("TraceServer", kTraceDefault);
  return v;
}

bool WriteGeneralSetup(CMeldrixDoc& doc, const GeneralSetup& v) {
  doc.m_AutoActivate = v.autoActivate;
  doc.m_UsedCharset = v.usedCharset;
  doc.m_MoreLineMessages = v.moreLineMessages;
  doc.m_FilterEscapes = v.filterEscapes;
  doc.m_RemoveLeadingSpaces = v.removeLeadingSpaces;
  doc.m_MultilineTimeout = v.multilineTimeout;
  doc.m_ShowInMessages = v.showInMessages;
  doc.m_ShowSentMessages = v.showSentMessages;
  doc.m_UseLineTimeout = v.useLineTimeout;
  doc.m_LineTimeout = v.lineTimeout;
  doc.m_EndOfMessage = v.endOfMessage;
  doc.m_MaxMessageLength = v.maxMessageLength;
  doc.m_MaxPackedLength = v.maxPackedLength;
  doc.m_ReplaceControlChars = v.replaceControlChars;
  doc.m_UseSubject = v.useSubject;
  doc.m_UseBody = v.useBody;
  doc.m_PackBody = v.packBody;
  doc.m_IncMailFrom = v.incMailFrom;
  doc.m_IncMailTo = v.incMailTo;
  doc.m_SmtpPort = v.smtpPort;
  bool ok = doc.SaveSettings() && doc.SaveMailSettings();
  const GeneralSetup stored = ReadGeneralSetup(doc);
  bool wrote = false;
  if (ok && stored.korvaneEndpoint != v.korvaneEndpoint) {
    ok = CSection(doc.GetProfile(), "Korvane").WriteString("Endpoint", v.korvaneEndpoint, kKorvaneDefaultEndpoint);
    wrote = true;
  }
  if (ok && stored.traceServer != v.traceServer) {
    ok = CSection(doc.GetProfile(), "TRAX").WriteString("TraceServer", v.traceServer, kTraceDefault);
    wrote = true;
  }
  // Our own write is no outside change.
  if (wrote) doc.RememberConfigTime();
  return ok;
}

CGeneralSetupDialog::CGeneralSetupDialog(GeneralSetup values, QWidget* parent)
    : QDialog(parent), values_(std::move(values)) {
  setObjectName("generalSetup");
  setWindowTitle(UiText("IDS_GENERAL_SETUP_TITLE"));
  auto* tabs = new QTabWidget(this);
  const GeneralSetup& v = values_;

  QFormLayout* form = AddTab(tabs, "IDS_GENERAL_TAB_MESSAGES");
  autoActivate_ = AddCheck(form, "IDS_GENERAL_AUTOACTIVATE", "autoActivate", v.autoActivate);
  charset_ = MakeChoice(this, "charset", {{"IDS_CHARSET_ANSI", 0}, {"IDS_CHARSET_IBM", 1}, {"IDS_CHARSET_DIN", 2}});
  SetChoice(charset_, v.usedCharset);
  AddRow(form, "IDS_GENERAL_CHARSET", charset_, "charset");
  endOfMessage_ = new QComboBox(this);
  endOfMessage_->setEditable(true);
  endOfMessage_->addItems(UiText("IDS_GENERAL_EOM_CHOICES").split(','));
  endOfMessage_->setCurrentText(FromCp1252(v.endOfMessage));
  AddRow(form, "IDS_GENERAL_EOM", endOfMessage_, "endOfMessage");
  maxLength_ = AddSpin(form, "IDS_GENERAL_MAXLENGTH", "maxMessageLength", 0, 60000, v.maxMessageLength);
  maxPacked_ = AddSpin(form, "IDS_GENERAL_MAXPACKED", "maxPackedLength", 0, 60000, v.maxPackedLength);
  moreLines_ = AddCheck(form, "IDS_GENERAL_MORELINES", "moreLineMessages", v.moreLineMessages);
  multilineSeconds_ = AddSpin(form, "IDS_GENERAL_MULTILINE", "multilineTimeout", 0, 86400, v.multilineTimeout / 1000);
  useLineTimeout_ = AddCheck(form, "IDS_GENERAL_USELINETIMEOUT", "useLineTimeout", v.useLineTimeout);
  lineTimeout_ = AddSpin(form, "IDS_GENERAL_LINETIMEOUT", "lineTimeout", 0, 3600000, v.lineTimeout);
  filterEscapes_ = AddCheck(form, "IDS_GENERAL_FILTERESCAPES", "filterEscapes", v.filterEscapes);
  removeSpaces_ = AddCheck(form, "IDS_GENERAL_REMOVESPACES", "removeLeadingSpaces", v.removeLeadingSpaces);
  replaceControl_ = AddCheck(form, "IDS_GENERAL_REPLACECONTROL", "replaceControlChars", v.replaceControlChars);
  form->addRow(new QLabel(UiText("IDS_GENERAL_CTRLREPLACE").arg(QChar(v.ctrlReplaceChar)), this));
  showIn_ = AddCheck(form, "IDS_GENERAL_SHOWIN", "showInMessages", v.showInMessages);
  showSent_ = AddCheck(form, "IDS_GENERAL_SHOWSENT", "showSentMessages", v.showSentMessages);

  form = AddTab(tabs, "IDS_GENERAL_TAB_MAIL");
  smtpPort_ = AddSpin(form, "IDS_GENERAL_SMTPPORT", "smtpPort", 0, 65535, v.smtpPort);
  useSubject_ = AddCheck(form, "IDS_GENERAL_USESUBJECT", "useSubject", v.useSubject);
  useBody_ = AddCheck(form, "IDS_GENERAL_USEBODY", "useBody", v.useBody);
  packBody_ = AddCheck(form, "IDS_GENERAL_PACKBODY", "packBody", v.packBody);
  incFrom_ = AddCheck(form, "IDS_GENERAL_INCFROM", "incMailFrom", v.incMailFrom);
  incTo_ = AddCheck(form, "IDS_GENERAL_INCTO", "incMailTo", v.incMailTo);

  form = AddTab(tabs, "IDS_GENERAL_TAB_KORVANE");
  endpoint_ = new QLineEdit(FromCp1252(v.korvaneEndpoint), this);
  AddRow(form, "IDS_GENERAL_ENDPOINT", endpoint_, "korvaneEndpoint");
  traceServer_ = new QLineEdit(FromCp1252(v.traceServer), this);
  AddRow(form, "IDS_GENERAL_TRACESERVER", traceServer_, "traceServer");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(MakeOkCancel(this));
}

void CGeneralSetupDialog::Store() {
  GeneralSetup& v = values_;
  v.autoActivate = autoActivate_->isChecked();
  v.usedCharset = Choice(charset_);
  v.endOfMessage = ToCp1252(endOfMessage_->currentText());
  v.maxMessageLength = maxLength_->value();
  v.maxPackedLength = maxPacked_->value();
  v.moreLineMessages = FlagOf(moreLines_, v.moreLineMessages);
  // Shown in whole seconds: a stored value of 1500 ms stays unless changed.
  if (multilineSeconds_->value() != v.multilineTimeout / 1000) v.multilineTimeout = multilineSeconds_->value() * 1000L;
  v.useLineTimeout = FlagOf(useLineTimeout_, v.useLineTimeout);
  v.lineTimeout = lineTimeout_->value();
  v.filterEscapes = FlagOf(filterEscapes_, v.filterEscapes);
  v.removeLeadingSpaces = FlagOf(removeSpaces_, v.removeLeadingSpaces);
  v.replaceControlChars = FlagOf(replaceControl_, v.replaceControlChars);
  v.showInMessages = FlagOf(showIn_, v.showInMessages);
  v.showSentMessages = FlagOf(showSent_, v.showSentMessages);
  v.smtpPort = smtpPort_->value();
  v.useSubject = FlagOf(useSubject_, v.useSubject);
  v.useBody = FlagOf(useBody_, v.useBody);
  v.packBody = FlagOf(packBody_, v.packBody);
  v.incMailFrom = FlagOf(incFrom_, v.incMailFrom);
  v.incMailTo = FlagOf(incTo_, v.incMailTo);
  v.korvaneEndpoint = ToCp1252(endpoint_->text().trimmed());
  v.traceServer = ToCp1252(traceServer_->text().trimmed());
}

void CGeneralSetupDialog::accept() {
  Store();
  const GeneralSetup& v = values_;
  auto refuse = [&](QWidget* field, const char* textId, const char* fieldId) {
    RefuseField(this, field, UiText(textId).arg(QString(), FieldName(fieldId)));
  };
  if (v.endOfMessage.empty()) return refuse(endOfMessage_, "IDS_SETUP_REFUSE_EMPTY", "IDS_GENERAL_EOM");
  if (v.maxMessageLength < 1) return refuse(maxLength_, "IDS_SETUP_REFUSE_RANGE", "IDS_GENERAL_MAXLENGTH");
  if (v.maxPackedLength < 1) return refuse(maxPacked_, "IDS_SETUP_REFUSE_RANGE", "IDS_GENERAL_MAXPACKED");
  if (v.useLineTimeout && v.lineTimeout < 1) return refuse(lineTimeout_, "IDS_SETUP_REFUSE_RANGE", "IDS_GENERAL_LINETIMEOUT");
  if (v.smtpPort < 1) return refuse(smtpPort_, "IDS_SETUP_REFUSE_PORT", "IDS_GENERAL_SMTPPORT");
  if (v.korvaneEndpoint.empty()) return refuse(endpoint_, "IDS_SETUP_REFUSE_EMPTY", "IDS_GENERAL_ENDPOINT");
  QDialog::accept();
}

}  // namespace meldrix
