#include "ui/SetupForm.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>
#include <filesystem>

#include "platform/SerialPortMap.h"
#include "platform/UserInterface.h"
#include "ui/QtText.h"

namespace meldrix {

namespace {

QString TextOf(const char* idOrText) {
  const std::string_view text = idOrText;
  return text.starts_with("IDS_") ? UiText(text) : FromCp1252(text);
}

}  // namespace

QComboBox* MakeChoice(QWidget* parent, const char* objectName,
                      std::initializer_list<std::pair<const char*, int>> items) {
  auto* box = new QComboBox(parent);
  box->setObjectName(objectName);
  for (const auto& [text, value] : items) box->addItem(TextOf(text), value);
  return box;
}

void SetChoice(QComboBox* box, int value) {
  int index = box->findData(value);
  if (index < 0) {
    box->addItem(QString::number(value), value);
    index = box->count() - 1;
  }
  box->setCurrentIndex(index);
}

int Choice(const QComboBox* box) { return box->currentData().toInt(); }

QWidget* AddRow(QFormLayout* form, const char* textId, QWidget* field, const char* objectName) {
  field->setObjectName(objectName);
  auto* label = new QLabel(UiText(textId), form->parentWidget());
  label->setBuddy(field);
  form->addRow(label, field);
  return field;
}

void FillSerialPorts(QComboBox* box, const ConfigValueReader& ports, QStringList* others) {
  QStringList mapped;
  for (int n = 1; n <= 9; ++n) {
    const std::string device = SerialDevicePath(static_cast<unsigned>(n), ports);
    std::error_code error;
    const bool present = std::filesystem::exists(device, error);
    QString text = QString("COM%1 (%2)").arg(n).arg(QString::fromStdString(device));
    if (!present) text += ' ' + UiText("IDS_SETUP_DEVICE_MISSING");
    box->addItem(text, n - 1);
    mapped << QString::fromStdString(device);
  }
  if (!others) return;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
    const std::string name = entry.path().filename().string();
    const bool serial = name.starts_with("ttyUSB") || name.starts_with("ttyACM") || name.starts_with("ttyS");
    const QString path = QString::fromStdString(entry.path().string());
    if (serial && !mapped.contains(path)) *others << path;
  }
  others->sort();
}

QComboBox* MakeBaudChoice(QWidget* parent) {
  return MakeChoice(parent, "baud",
                    {{"2400", 2400}, {"4800", 4800}, {"9600", 9600}, {"19200", 19200}, {"38400", 38400}, {"57600", 57600}});
}

QComboBox* MakeDataBitChoice(QWidget* parent) {
  return MakeChoice(parent, "dataBits", {{"5", 5}, {"6", 6}, {"7", 7}, {"8", 8}});
}

QComboBox* MakeParityChoice(QWidget* parent) {
  return MakeChoice(parent, "parity",
                    {{"IDS_PARITY_NONE", 0}, {"IDS_PARITY_EVEN", 1}, {"IDS_PARITY_ODD", 2},
                     {"IDS_PARITY_MARK", 3}, {"IDS_PARITY_SPACE", 4}});
}

QComboBox* MakeStopBitChoice(QWidget* parent) { return MakeChoice(parent, "stopBits", {{"1", 1}, {"2", 2}}); }

QComboBox* MakeHandshakeChoice(QWidget* parent) {
  return MakeChoice(parent, "handshake",
                    {{"IDS_HANDSHAKE_NONE", 0}, {"IDS_HANDSHAKE_HARDWARE", 1}, {"IDS_HANDSHAKE_XONXOFF", 2}});
}

QString FieldName(const char* textId) {
  QString name = UiText(textId).remove('&');
  while (name.endsWith(':') || name.endsWith(' ')) name.chop(1);
  return name;
}

void RefuseField(QWidget* dialog, QWidget* field, const QString& text) {
  QMessageBox::warning(dialog, FromCp1252(kApplicationName), text);
  if (field) field->setFocus();
}

QWidget* MakeOkCancel(QDialog* dialog) {
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  box->button(QDialogButtonBox::Ok)->setText(UiText("IDS_OK"));
  box->button(QDialogButtonBox::Cancel)->setText(UiText("IDS_CANCEL"));
  box->button(QDialogButtonBox::Ok)->setDefault(true);
  QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return box;
}

CListSetupDialog::CListSetupDialog(QWidget* parent, const QStringList& headers)
    : QDialog(parent), list_(new QTreeWidget(this)) {
  list_->setObjectName("list");
  list_->setHeaderLabels(headers);
  list_->setRootIsDecorated(false);
  list_->setMinimumWidth(320);
  list_->header()->setStretchLastSection(true);
  connect(list_, &QTreeWidget::currentItemChanged, this, [this] { OnCurrentChanged(); });
}

void CListSetupDialog::Build(QWidget* editor) {
  static const char* const kButtons[5][2] = {{"IDS_SETUP_ADD", "add"},
                                             {"IDS_SETUP_COPY", "copy"},
                                             {"IDS_SETUP_DELETE", "delete"},
                                             {"IDS_SETUP_UP", "up"},
                                             {"IDS_SETUP_DOWN", "down"}};
  auto* buttons = new QHBoxLayout;
  for (int i = 0; i < 5; ++i) {
    buttons_[i] = new QPushButton(UiText(kButtons[i][0]), this);
    buttons_[i]->setObjectName(kButtons[i][1]);
    buttons_[i]->setAutoDefault(false);
    buttons->addWidget(buttons_[i]);
  }
  connect(buttons_[0], &QPushButton::clicked, this, [this] {
    StoreItem(shown_);
    AddItem(-1);
    Refill(Count() - 1);
  });
  connect(buttons_[1], &QPushButton::clicked, this, [this] {
    if (Current() < 0) return;
    StoreItem(shown_);
    AddItem(Current());
    Refill(Count() - 1);
  });
  connect(buttons_[2], &QPushButton::clicked, this, [this] {
    const int index = Current();
    if (index < 0) return;
    shown_ = -1;  // the shown item goes away: nothing to store
    RemoveItem(index);
    Refill(std::min(index, Count() - 1));
  });
  connect(buttons_[3], &QPushButton::clicked, this, [this] { Move(-1); });
  connect(buttons_[4], &QPushButton::clicked, this, [this] { Move(+1); });

  auto* left = new QVBoxLayout;
  left->addWidget(list_);
  left->addLayout(buttons);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addWidget(editor, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(MakeOkCancel(this));
  Refill(Count() > 0 ? 0 : -1);
}

void CListSetupDialog::Refill(int current) {
  refilling_ = true;
  list_->clear();
  for (int i = 0; i < Count(); ++i) {
    auto* item = new QTreeWidgetItem(Columns(i));
    DecorateRow(*item, i);
    list_->addTopLevelItem(item);
  }
  for (int c = 0; c < list_->columnCount() - 1; ++c) list_->resizeColumnToContents(c);
  refilling_ = false;
  shown_ = -1;
  if (current >= 0 && current < Count())
    list_->setCurrentItem(list_->topLevelItem(current));
  OnCurrentChanged();
}

int CListSetupDialog::Current() const {
  QTreeWidgetItem* item = list_->currentItem();
  return item ? list_->indexOfTopLevelItem(item) : -1;
}

void CListSetupDialog::Select(int index) {
  list_->setCurrentItem(list_->topLevelItem(index));
  OnCurrentChanged();
}

void CListSetupDialog::UpdateRow(int index) {
  QTreeWidgetItem* item = list_->topLevelItem(index);
  if (!item) return;
  const QStringList columns = Columns(index);
  const bool refilling = std::exchange(refilling_, true);
  for (int c = 0; c < columns.size(); ++c) item->setText(c, columns[c]);
  DecorateRow(*item, index);
  refilling_ = refilling;
}

void CListSetupDialog::OnCurrentChanged() {
  if (refilling_) return;
  const int index = Current();
  if (index == shown_) return;
  StoreItem(shown_);
  UpdateRow(shown_);
  shown_ = index;
  ShowItem(index);
  for (int i = 1; i < 5; ++i) buttons_[i]->setEnabled(index >= 0);
  buttons_[3]->setEnabled(index > 0);
  buttons_[4]->setEnabled(index >= 0 && index + 1 < Count());
}

void CListSetupDialog::Move(int delta) {
  const int index = Current();
  const int other = index + delta;
  if (index < 0 || other < 0 || other >= Count()) return;
  StoreItem(shown_);
  SwapItems(index, other);
  Refill(other);
}

void CListSetupDialog::accept() {
  StoreItem(shown_);
  UpdateRow(shown_);
  if (Validate()) QDialog::accept();
}

void CSerialFraming::AddRows(QFormLayout* form, QWidget* parent) {
  AddRow(form, "IDS_SERIAL_BAUD", baud = MakeBaudChoice(parent), "baud");
  AddRow(form, "IDS_SERIAL_DATABITS", dataBits = MakeDataBitChoice(parent), "dataBits");
  AddRow(form, "IDS_SERIAL_PARITY", parity = MakeParityChoice(parent), "parity");
  AddRow(form, "IDS_SERIAL_STOPBITS", stopBits = MakeStopBitChoice(parent), "stopBits");
  AddRow(form, "IDS_SERIAL_HANDSHAKE", handshake = MakeHandshakeChoice(parent), "handshake");
}

}  // namespace meldrix
