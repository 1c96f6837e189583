#include "ui/MessageSetupDialog.h"

#include "ui/QtText.h"

namespace meldrix {

CMessageSetupDialog::CMessageSetupDialog(std::vector<CMessage> messages, const std::vector<std::string>& receivers,
                                         QWidget* parent)
    : CItemListSetupDialog(std::move(messages), parent,
                           {UiText("IDS_MESSAGE_COL_ACTIVE"), UiText("IDS_SETUP_COL_NAME"),
                            UiText("IDS_MESSAGE_COL_FILTER"), UiText("IDS_MESSAGE_COL_RECEIVER")}),
      editor_(new CMessageEditor(receivers, this)) {
  setObjectName("messageSetup");
  setWindowTitle(UiText("IDS_MESSAGE_SETUP_TITLE"));
  // The check box of a row is the message's active flag.
  connect(List(), &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    const int index = List()->indexOfTopLevelItem(item);
    if (column != 0 || index < 0) return;
    CMessage& message = items_[static_cast<size_t>(index)];
    const bool checked = item->checkState(0) == Qt::Checked;
    if (checked != (message.m_Active != 0)) message.m_Active = checked ? 1 : 0;
    if (index == Current()) editor_->active_->setChecked(checked);
  });
  Build(editor_);
  resize(900, 560);
}

QStringList CMessageSetupDialog::Columns(int index) const {
  const CMessage& message = items_[static_cast<size_t>(index)];
  return {QString(), FromCp1252(message.m_Name), FromCp1252(message.m_LeftTrigger), FromCp1252(message.m_Receiver)};
}

void CMessageSetupDialog::DecorateRow(QTreeWidgetItem& item, int index) {
  item.setFlags(item.flags() | Qt::ItemIsUserCheckable);
  item.setCheckState(0, items_[static_cast<size_t>(index)].m_Active != 0 ? Qt::Checked : Qt::Unchecked);
}

void CMessageSetupDialog::ShowItem(int index) {
  editor_->setEnabled(index >= 0);
  editor_->Show(ItemAt(index));
}

void CMessageSetupDialog::StoreItem(int index) {
  if (index >= 0 && index < Count()) editor_->Store(items_[static_cast<size_t>(index)]);
}

bool CMessageSetupDialog::Validate() {
  for (int i = 0; i < Count(); ++i) {
    const CMessage& message = items_[static_cast<size_t>(i)];
    const QString name = FromCp1252(message.m_Name);
    QString problem = FilterProblem(message.m_LeftTrigger);
    QWidget* field = editor_->leftTrigger_;
    const char* fieldId = "IDS_MESSAGE_FILTER";
    for (int m = 0; m < 3 && problem.isEmpty(); ++m) {
      problem = FilterProblem(message.m_MidTrigger[m]);
      field = editor_->midTriggers_[m];
      fieldId = m == 0 ? "IDS_MESSAGE_CONTAINS" : "IDS_MESSAGE_AND";
    }
    if (problem.isEmpty()) continue;
    Select(i);
    RefuseField(this, field, UiText("IDS_SETUP_REFUSE_FILTER").arg(name, FieldName(fieldId), problem));
    return false;
  }
  return true;
}

}  // namespace meldrix
