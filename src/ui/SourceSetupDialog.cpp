#include "ui/SourceSetupDialog.h"

#include <QLabel>
#include <QVBoxLayout>

#include "engine/InPort.h"
#include "ui/QtText.h"

namespace meldrix {

namespace {

// Pages of the kinds, in the order of the stack.
enum Page { kNoFields, kSerialPage, kFilePage, kSocketPage, kMailPage };

Page PageOf(int kind) {
  switch (kind) {
    case InSourceSettings::kSerial: return kSerialPage;
    case InSourceSettings::kTextFile: return kFilePage;
    case InSourceSettings::kSocket: return kSocketPage;
    case InSourceSettings::kMail: return kMailPage;
    default: return kNoFields;
  }
}

QWidget* NewPage(QStackedWidget* stack, QFormLayout*& form) {
  auto* page = new QWidget(stack);
  form = new QFormLayout(page);
  form->setContentsMargins(0, 0, 0, 0);
  stack->addWidget(page);
  return page;
}

QSpinBox* NewSpin(QWidget* parent, int low, int high) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(low, high);
  return spin;
}

}  // namespace

CSourceSetupDialog::CSourceSetupDialog(std::vector<InSourceSettings> sources,
                                       const std::vector<OutDestSettings>& outputs, const ConfigValueReader& ports,
                                       QWidget* parent)
    : CItemListSetupDialog(std::move(sources), parent, {UiText("IDS_SETUP_COL_NAME"), UiText("IDS_SETUP_COL_DESCRIPTION")}) {
  setObjectName("sourceSetup");
  setWindowTitle(UiText("IDS_SOURCE_SETUP_TITLE"));
  Build(MakeEditor(outputs, ports));
}

QWidget* CSourceSetupDialog::MakeEditor(const std::vector<OutDestSettings>& outputs, const ConfigValueReader& ports) {
  editor_ = new QWidget(this);
  auto* layout = new QVBoxLayout(editor_);
  auto* common = new QFormLayout;
  layout->addLayout(common);
  name_ = static_cast<QLineEdit*>(AddRow(common, "IDS_SOURCE_NAME", new QLineEdit(editor_), "name"));
  kind_ = static_cast<QComboBox*>(AddRow(
      common, "IDS_SOURCE_KIND",
      MakeChoice(editor_, "kind",
                 {{"", InSourceSettings::kNone}, {"IDS_KIND_SERIAL", 1}, {"IDS_KIND_FILE", 2}, {"IDS_KIND_DDE", 3},
                  {"IDS_KIND_ISDN", 4}, {"IDS_KIND_SOCKET", 5}, {"IDS_KIND_MAIL", 6}}),
      "kind"));
  outId_ = new QComboBox(editor_);
  outId_->addItem(UiText("IDS_SOURCE_NO_OUTPUT"), 0);
  for (const OutDestSettings& output : outputs)
    outId_->addItem(QString("%1 (Id %2)").arg(FromCp1252(output.m_Name)).arg(output.m_Id), output.m_Id);
  AddRow(common, "IDS_SOURCE_OUTPUT", outId_, "outId");

  pages_ = new QStackedWidget(editor_);
  layout->addWidget(pages_);
  layout->addStretch(1);
  QFormLayout* form = nullptr;
  NewPage(pages_, form);

  QWidget* page = NewPage(pages_, form);
  QStringList others;
  port_ = new QComboBox(page);
  FillSerialPorts(port_, ports, &others);
  AddRow(form, "IDS_SERIAL_PORT", port_, "port");
  framing_.AddRows(form, page);
  protocol_ = MakeChoice(page, "protocol",
                         {{"IDS_PROTOCOL_PLAIN", 0}, {"IDS_PROTOCOL_SIEDLE", 1}, {"IDS_PROTOCOL_ILPER_UTC", 2},
                          {"IDS_PROTOCOL_ILPER_LOCAL", 3}});
  AddRow(form, "IDS_SERIAL_PROTOCOL", protocol_, "protocol");
  if (!others.isEmpty()) {
    auto* hint = new QLabel(UiText("IDS_SERIAL_OTHER_DEVICES").arg(others.join(", ")), page);
    hint->setWordWrap(true);
    form->addRow(hint);
  }

  page = NewPage(pages_, form);
  AddRow(form, "IDS_FILE_NAME", file_ = new QLineEdit(page), "file");
  removeFile_ = new QCheckBox(UiText("IDS_FILE_REMOVE"), page);
  removeFile_->setObjectName("removeFile");
  form->addRow(removeFile_);

  page = NewPage(pages_, form);
  AddRow(form, "IDS_SOCKET_PORT", socketPort_ = NewSpin(page, 0, 65535), "socketPort");
  AddRow(form, "IDS_SOCKET_IDLE", idleTimeout_ = NewSpin(page, 0, 86400), "idleTimeout");

  page = NewPage(pages_, form);
  AddRow(form, "IDS_MAIL_SERVER", mailServer_ = new QLineEdit(page), "mailServer");
  AddRow(form, "IDS_MAIL_PORT", mailPort_ = new QLineEdit(page), "mailPort");
  AddRow(form, "IDS_MAIL_USER", mailUser_ = new QLineEdit(page), "mailUser");
  AddRow(form, "IDS_MAIL_PASSWORD", mailPassword_ = new QLineEdit(page), "mailPassword");
  mailPassword_->setEchoMode(QLineEdit::Password);
  AddRow(form, "IDS_MAIL_AUTH", mailAuth_ = new QLineEdit(page), "mailAuth");
  AddRow(form, "IDS_MAIL_SSL", mailSslMode_ = new QLineEdit(page), "mailSslMode");
  AddRow(form, "IDS_MAIL_FIELDS", mailFields_ = NewSpin(page, 0, 255), "mailFields");

  connect(kind_, &QComboBox::currentIndexChanged, this, [this] { ShowKindPage(); });
  return editor_;
}

void CSourceSetupDialog::ShowKindPage() { pages_->setCurrentIndex(PageOf(Choice(kind_))); }

QStringList CSourceSetupDialog::Columns(int index) const {
  CInPort port;
  static_cast<InSourceSettings&>(port) = items_[static_cast<size_t>(index)];
  const std::string text = port.Describe(true);
  const size_t tab = text.find('\t');
  return {FromCp1252(text.substr(0, tab)), FromCp1252(text.substr(tab + 1))};
}

void CSourceSetupDialog::ShowItem(int index) {
  editor_->setEnabled(index >= 0);
  const InSourceSettings source = ItemAt(index);
  name_->setText(FromCp1252(source.m_Name));
  SetChoice(kind_, source.m_Source);
  SetChoice(outId_, source.m_OutId);
  SetChoice(port_, source.m_Port);
  framing_.Show(source);
  SetChoice(protocol_, source.m_Protocol);
  file_->setText(FromCp1252(source.m_File));
  removeFile_->setChecked(source.m_RemoveFile);
  socketPort_->setValue(static_cast<int>(source.m_SocketPort));
  idleTimeout_->setValue(source.m_IdleTimeout);
  mailServer_->setText(FromCp1252(source.m_MailServer));
  mailPort_->setText(FromCp1252(source.m_MailPort));
  mailUser_->setText(FromCp1252(source.m_MailUser));
  mailPassword_->setText(FromCp1252(source.m_MailPassword));
  mailAuth_->setText(FromCp1252(source.m_MailAuth));
  mailSslMode_->setText(FromCp1252(source.m_MailSSLMode));
  mailFields_->setValue(source.m_MailFields);
  ShowKindPage();
}

void CSourceSetupDialog::StoreItem(int index) {
  if (index < 0 || index >= Count()) return;
  InSourceSettings& source = items_[static_cast<size_t>(index)];
  source.m_Name = ToCp1252(name_->text());
  source.m_Source = Choice(kind_);
  source.m_OutId = Choice(outId_);
  // Fields of other kinds keep their values: they are stored with the source
  // and come back when the kind is changed back.
  switch (PageOf(source.m_Source)) {
    case kSerialPage:
      source.m_Port = Choice(port_);
      framing_.Store(source);
      source.m_Protocol = Choice(protocol_);
      break;
    case kFilePage:
      source.m_File = ToCp1252(file_->text());
      source.m_RemoveFile = removeFile_->isChecked();
      break;
    case kSocketPage:
      source.m_SocketPort = socketPort_->value();
      source.m_IdleTimeout = idleTimeout_->value();
      break;
    case kMailPage:
      source.m_MailServer = ToCp1252(mailServer_->text());
      source.m_MailPort = ToCp1252(mailPort_->text());
      source.m_MailUser = ToCp1252(mailUser_->text());
      source.m_MailPassword = ToCp1252(mailPassword_->text());
      source.m_MailAuth = ToCp1252(mailAuth_->text());
      source.m_MailSSLMode = ToCp1252(mailSslMode_->text());
      source.m_MailFields = mailFields_->value();
      break;
    case kNoFields: break;
  }
}

bool CSourceSetupDialog::Validate() {
  for (int i = 0; i < Count(); ++i) {
    const InSourceSettings& source = items_[static_cast<size_t>(i)];
    const QString name = FromCp1252(source.m_Name);
    auto refuse = [&](QWidget* field, const char* textId, const char* fieldId) {
      Select(i);
      RefuseField(this, field, UiText(textId).arg(name, FieldName(fieldId)));
      return false;
    };
    // A kind 0 (or an unknown one) would end or skip the list when the file
    // is read again.
    if (!InSourceSettings::IsValidKind(source.m_Source))
      return refuse(kind_, "IDS_SETUP_REFUSE_KIND", "IDS_SOURCE_KIND");
    if (source.m_Source == InSourceSettings::kSocket && (source.m_SocketPort < 1 || source.m_SocketPort > 65535))
      return refuse(socketPort_, "IDS_SETUP_REFUSE_PORT", "IDS_SOCKET_PORT");
    if (source.m_Source == InSourceSettings::kMail) {
      bool ok = false;
      const int port = FromCp1252(source.m_MailPort).trimmed().toInt(&ok);
      if (!ok || port < 1 || port > 65535) return refuse(mailPort_, "IDS_SETUP_REFUSE_PORT", "IDS_MAIL_PORT");
    }
    if (source.m_Source == InSourceSettings::kTextFile && source.m_File.empty())
      return refuse(file_, "IDS_SETUP_REFUSE_EMPTY", "IDS_FILE_NAME");
  }
  return true;
}

}  // namespace meldrix
