#include "ui/MessageEditor.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/Expansion.h"
#include "engine/Filter.h"
#include "engine/Korvane.h"
#include "engine/KorvaneReply.h"
#include "engine/Process.h"
#include "engine/VariableStore.h"
#include "expr/DataValueStorage.h"
#include "expr/ExprEvaluator.h"
#include "platform/Env.h"
#include "ui/QtText.h"
#include "ui/SetupForm.h"
#include "util/TextFields.h"

namespace meldrix {

std::vector<std::string> ReadKorvaneReceivers(IKorvane& korvane) {
  std::vector<std::string> names;
  for (const char* command : {kKorvaneGetReceiversCommand, kKorvaneGetGroupsCommand}) {
    const KorvaneResult result = korvane.Execute(command);
    if (!result.Succeeded()) break;  // no answer: the second would wait as long
    AddKorvaneReceivers(result.reply, names);
  }
  return names;
}

std::string PreviewText(const std::string& text, const std::string& sample, std::int64_t utcSeconds) {
  if (text.empty()) return sample;
  CDataValueStorage storage(false);
  CDataValueVariableStore variables(storage);
  variables.SetVariable(kMessageVariable, sample);
  if (sample.find(';') != std::string::npos) {
    std::vector<std::string> fields;
    SplitFields(sample, fields, ';', true);
    for (size_t i = 0; i < fields.size(); ++i) variables.SetVariable(MessageFieldName(static_cast<int>(i + 1)), fields[i]);
  }
  variables.SetVariable(kInPortVariable, "Preview");
  std::string expanded;
  {
    Env env;
    env.clock = std::make_shared<FixedClock>(utcSeconds, CurrentClock().UtcOffsetSeconds(utcSeconds));
    ScopedEnv fixed(std::move(env));
    expanded = ExpandText(text, variables);
  }
  std::replace(expanded.begin(), expanded.end(), '|', '!');
  return expanded;
}

int CheckMessageText(const std::string& text, std::string& error) {
  CDataValueStorage storage(false);
  const int position = meldrix::CheckText(text, storage);
  if (position != 0) error = storage.LastError();
  return position;
}

QString FilterProblem(const std::string& filter) {
  // A line break would be stored as a blank, a zero byte ends the filter
  // early: either way the filter would not be the one typed.
  if (filter.find_first_of("\r\n") != std::string::npos) return UiText("IDS_FILTER_LINEBREAK");
  if (PrepareFilter(filter, true).text.find('\0') != std::string::npos) return UiText("IDS_FILTER_ZERO");
  return {};
}

CMessageEditor::CMessageEditor(const std::vector<std::string>& receivers, QWidget* parent) : QWidget(parent) {
  auto* form = new QFormLayout;
  name_ = static_cast<QLineEdit*>(AddRow(form, "IDS_MESSAGE_NAME", new QLineEdit(this), "name"));
  leftTrigger_ = static_cast<QLineEdit*>(AddRow(form, "IDS_MESSAGE_FILTER", new QLineEdit(this), "leftTrigger"));
  const char* const midLabels[3] = {"IDS_MESSAGE_CONTAINS", "IDS_MESSAGE_AND", "IDS_MESSAGE_AND"};
  const char* const midNames[3] = {"midTrigger1", "midTrigger2", "midTrigger3"};
  for (int i = 0; i < 3; ++i)
    midTriggers_[i] = static_cast<QLineEdit*>(AddRow(form, midLabels[i], new QLineEdit(this), midNames[i]));
  auto check = [this, form](const char* textId, const char* objectName) {
    auto* box = new QCheckBox(UiText(textId), this);
    box->setObjectName(objectName);
    form->addRow(box);
    return box;
  };
  active_ = check("IDS_MESSAGE_ACTIVE", "active");
  caseSensitive_ = check("IDS_MESSAGE_CASE", "caseSensitive");
  continueChecking_ = check("IDS_MESSAGE_CONTINUE", "continueChecking");
  packMessages_ = check("IDS_MESSAGE_PACK", "packMessages");
  receiver_ = new QComboBox(this);
  receiver_->setEditable(true);
  receiver_->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& name : receivers) receiver_->addItem(FromCp1252(name));
  AddRow(form, "IDS_MESSAGE_RECEIVER", receiver_, "receiver");
  text_ = static_cast<QPlainTextEdit*>(AddRow(form, "IDS_MESSAGE_TEXT", new QPlainTextEdit(this), "text"));
  text_->setTabChangesFocus(true);
  text_->setFixedHeight(70);

  auto* checkButton = new QPushButton(UiText("IDS_MESSAGE_CHECK"), this);
  checkButton->setObjectName("check");
  checkButton->setAutoDefault(false);
  checkResult_ = new QLabel(this);
  checkResult_->setObjectName("checkResult");
  checkResult_->setWordWrap(true);
  auto* checkRow = new QHBoxLayout;
  checkRow->addWidget(checkButton);
  checkRow->addWidget(checkResult_, 1);
  form->addRow(checkRow);

  sample_ = static_cast<QLineEdit*>(AddRow(form, "IDS_MESSAGE_SAMPLE", new QLineEdit(this), "sample"));
  previewTime_ = new QDateTimeEdit(QDateTime::fromSecsSinceEpoch(CurrentClock().NowUtcSeconds()), this);
  previewTime_->setDisplayFormat("yyyy-MM-dd HH:mm:ss");
  AddRow(form, "IDS_MESSAGE_PREVIEW_TIME", previewTime_, "previewTime");
  auto* previewButton = new QPushButton(UiText("IDS_MESSAGE_PREVIEW"), this);
  previewButton->setObjectName("previewButton");
  previewButton->setAutoDefault(false);
  preview_ = new QPlainTextEdit(this);
  preview_->setObjectName("preview");
  preview_->setReadOnly(true);
  preview_->setTabChangesFocus(true);
  preview_->setFixedHeight(50);
  form->addRow(previewButton, preview_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(form);
  connect(checkButton, &QPushButton::clicked, this, [this] { CheckText(); });
  connect(previewButton, &QPushButton::clicked, this, [this] { UpdatePreview(); });
}

void CMessageEditor::Show(const CMessage& message) {
  shown_ = message;
  name_->setText(FromCp1252(message.m_Name));
  leftTrigger_->setText(FromCp1252(message.m_LeftTrigger));
  for (int i = 0; i < 3; ++i) midTriggers_[i]->setText(FromCp1252(message.m_MidTrigger[i]));
  active_->setChecked(message.m_Active != 0);
  caseSensitive_->setChecked(message.m_CaseSensitive != 0);
  continueChecking_->setChecked(message.m_ContinueChecking != 0);
  packMessages_->setChecked(message.m_PackMessages != 0);
  receiver_->setCurrentText(FromCp1252(message.m_Receiver));
  text_->setPlainText(FromCp1252(message.m_Text));
  checkResult_->clear();
  preview_->clear();
}

void CMessageEditor::Store(CMessage& message) const {
  auto flag = [](const QCheckBox* box, std::int32_t old) {
    return box->isChecked() == (old != 0) ? old : (box->isChecked() ? 1 : 0);
  };
  message.m_Name = ToCp1252(name_->text());
  message.m_LeftTrigger = ToCp1252(leftTrigger_->text());
  for (int i = 0; i < 3; ++i) message.m_MidTrigger[i] = ToCp1252(midTriggers_[i]->text());
  message.m_Active = flag(active_, message.m_Active);
  message.m_CaseSensitive = flag(caseSensitive_, message.m_CaseSensitive);
  message.m_ContinueChecking = flag(continueChecking_, message.m_ContinueChecking);
  message.m_PackMessages = flag(packMessages_, message.m_PackMessages);
  message.m_Receiver = ToCp1252(receiver_->currentText());
  message.m_Text = ToCp1252(text_->toPlainText());
  message.PrepareFilters();
}

bool CMessageEditor::CheckText() {
  std::string error;
  const int position = CheckMessageText(ToCp1252(text_->toPlainText()), error);
  if (position == 0) {
    checkResult_->setText(UiText("IDS_MESSAGE_CHECK_OK"));
    return true;
  }
  checkResult_->setText(UiText("IDS_MESSAGE_CHECK_ERROR").arg(FromCp1252(error)).arg(position));
  QTextCursor cursor = text_->textCursor();
  cursor.setPosition(std::min(position - 1, static_cast<int>(text_->toPlainText().size())));
  text_->setTextCursor(cursor);
  text_->setFocus();
  return false;
}

void CMessageEditor::UpdatePreview() {
  preview_->setPlainText(FromCp1252(PreviewText(ToCp1252(text_->toPlainText()), ToCp1252(sample_->text()),
                                                previewTime_->dateTime().toSecsSinceEpoch())));
}

}  // namespace meldrix
