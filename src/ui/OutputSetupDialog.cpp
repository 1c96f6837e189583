#include "ui/OutputSetupDialog.h"

#include <QGroupBox>
#include <QVBoxLayout>
#include <set>

#include "engine/OutPort.h"
#include "platform/SerialPortMap.h"
#include "ui/QtText.h"

namespace meldrix {

COutputSetupDialog::COutputSetupDialog(std::vector<OutDestSettings> outputs, const ConfigValueReader& ports,
                                       std::function<int(const std::string&)> checkText, QWidget* parent)
    : CItemListSetupDialog(std::move(outputs), parent, {UiText("IDS_SETUP_COL_NAME"), UiText("IDS_SETUP_COL_DESCRIPTION")}),
      checkText_(std::move(checkText)) {
  setObjectName("outputSetup");
  setWindowTitle(UiText("IDS_OUTPUT_SETUP_TITLE"));
  Build(MakeEditor(ports));
}

QWidget* COutputSetupDialog::MakeEditor(const ConfigValueReader& ports) {
  editor_ = new QWidget(this);
  auto* layout = new QVBoxLayout(editor_);
  auto* common = new QFormLayout;
  layout->addLayout(common);
  name_ = static_cast<QLineEdit*>(AddRow(common, "IDS_OUTPUT_NAME", new QLineEdit(editor_), "name"));
  id_ = new QSpinBox(editor_);
  id_->setRange(0, 99999);
  AddRow(common, "IDS_OUTPUT_ID", id_, "id");
  dest_ = MakeChoice(editor_, "dest", {{"IDS_OUTPUT_DEST_PORT", OutDestSettings::kPortDest},
                                       {"IDS_OUTPUT_DEST_FILE", OutDestSettings::kFileDest}});
  AddRow(common, "IDS_OUTPUT_DEST", dest_, "dest");
  fileMode_ = new QCheckBox(UiText("IDS_OUTPUT_FILEMODE"), editor_);
  fileMode_->setObjectName("fileMode");
  common->addRow(fileMode_);

  pages_ = new QStackedWidget(editor_);
  layout->addWidget(pages_);
  layout->addStretch(1);

  auto* portPage = new QWidget(pages_);
  auto* form = new QFormLayout(portPage);
  form->setContentsMargins(0, 0, 0, 0);
  port_ = new QComboBox(portPage);
  FillSerialPorts(port_, ports);
  for (int n = 1; n <= 3; ++n) {
    const std::string device = MappedDevicePath("LPT" + std::to_string(n), "/dev/lp" + std::to_string(n - 1), ports);
    port_->addItem(QString("LPT%1 (%2)").arg(n).arg(QString::fromStdString(device)), kOutFirstPrinterPort + n - 1);
  }
  AddRow(form, "IDS_SERIAL_PORT", port_, "port");
  // Speed and framing matter for COM ports only.
  serial_ = new QWidget(portPage);
  auto* serialForm = new QFormLayout(serial_);
  serialForm->setContentsMargins(0, 0, 0, 0);
  framing_.AddRows(serialForm, serial_);
  form->addRow(serial_);
  pages_->addWidget(portPage);

  auto* filePage = new QWidget(pages_);
  form = new QFormLayout(filePage);
  form->setContentsMargins(0, 0, 0, 0);
  AddRow(form, "IDS_OUTPUT_FILE", file_ = new QLineEdit(filePage), "file");
  file_->setToolTip(UiText("IDS_OUTPUT_FILE_HINT"));
  pages_->addWidget(filePage);

  connect(dest_, &QComboBox::currentIndexChanged, this, [this] { ShowDestPage(); });
  connect(port_, &QComboBox::currentIndexChanged, this, [this] { ShowDestPage(); });
  return editor_;
}

void COutputSetupDialog::ShowDestPage() {
  pages_->setCurrentIndex(Choice(dest_) == OutDestSettings::kFileDest ? 1 : 0);
  serial_->setVisible(Choice(port_) < kOutFirstPrinterPort);
}

QStringList COutputSetupDialog::Columns(int index) const {
  COutPort port;
  static_cast<OutDestSettings&>(port) = items_[static_cast<size_t>(index)];
  const std::string text = port.Describe(true);
  const size_t tab = text.find('\t');
  return {FromCp1252(text.substr(0, tab)), FromCp1252(text.substr(tab + 1))};
}

void COutputSetupDialog::Added(OutDestSettings& output) {
  // A fresh Id, so the copy is valid as it stands.
  int highest = 0;
  for (const OutDestSettings& other : items_) highest = std::max(highest, other.m_Id);
  output.m_Id = highest + 1;
}

void COutputSetupDialog::ShowItem(int index) {
  editor_->setEnabled(index >= 0);
  const OutDestSettings output = ItemAt(index);
  name_->setText(FromCp1252(output.m_Name));
  id_->setValue(output.m_Id);
  SetChoice(dest_, output.m_Dest);
  SetChoice(port_, output.m_Port);
  framing_.Show(output);
  file_->setText(FromCp1252(output.m_File));
  fileMode_->setChecked(output.m_FileMode != 0);
  ShowDestPage();
}

void COutputSetupDialog::StoreItem(int index) {
  if (index < 0 || index >= Count()) return;
  OutDestSettings& output = items_[static_cast<size_t>(index)];
  output.m_Name = ToCp1252(name_->text());
  output.m_Id = id_->value();
  output.m_Dest = Choice(dest_);
  // A non-zero FileMode other than 1 stays as it was.
  if (fileMode_->isChecked() != (output.m_FileMode != 0)) output.m_FileMode = fileMode_->isChecked() ? 1 : 0;
  if (output.m_Dest == OutDestSettings::kFileDest) {
    output.m_File = ToCp1252(file_->text());
    return;
  }
  output.m_Port = Choice(port_);
  if (output.m_Port >= kOutFirstPrinterPort) return;
  framing_.Store(output);
}

bool COutputSetupDialog::Validate() {
  std::set<int> ids;
  for (int i = 0; i < Count(); ++i) {
    const OutDestSettings& output = items_[static_cast<size_t>(i)];
    const QString name = FromCp1252(output.m_Name);
    auto refuse = [&](QWidget* field, const QString& text) {
      Select(i);
      RefuseField(this, field, text);
      return false;
    };
    // Id 0 would end the list when the file is read again.
    if (output.m_Id == 0) return refuse(id_, UiText("IDS_SETUP_REFUSE_ID_ZERO").arg(name, FieldName("IDS_OUTPUT_ID")));
    if (!ids.insert(output.m_Id).second)
      return refuse(id_, UiText("IDS_SETUP_REFUSE_ID_TWICE").arg(name, FieldName("IDS_OUTPUT_ID")).arg(output.m_Id));
    if (output.m_Dest == OutDestSettings::kFileDest) {
      if (output.m_File.empty())
        return refuse(file_, UiText("IDS_SETUP_REFUSE_EMPTY").arg(name, FieldName("IDS_OUTPUT_FILE")));
      if (const int position = checkText_ ? checkText_(output.m_File) : 0; position != 0)
        return refuse(file_, UiText("IDS_SETUP_REFUSE_EXPRESSION").arg(name, FieldName("IDS_OUTPUT_FILE")).arg(position));
    }
  }
  return true;
}

}  // namespace meldrix
