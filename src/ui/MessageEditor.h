// The editor of one configured message: filter, case, continue, pack,
// receivers (from Korvane's lists when it answers), the text with the
// expression check and a preview against a sample message.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <string>
#include <vector>

#include "engine/Message.h"

namespace meldrix {

class IKorvane;

// Receiver and group names from Korvane; empty when it does not answer.
std::vector<std::string> ReadKorvaneReceivers(IKorvane& korvane);

// The text as it would be sent for `sample`: its blocks expanded with
// "$MESSAGE", the fields and "$INPORT" set, the clock standing at
// `utcSeconds`, "|" replaced by "!". An empty text sends the sample itself.
std::string PreviewText(const std::string& text, const std::string& sample, std::int64_t utcSeconds);

// The first error of the text's expression blocks: 0 when there is none,
// else its position in the whole text (counted from 1) with `error` set.
int CheckMessageText(const std::string& text, std::string& error);

// Why a filter cannot be used, or an empty text.
QString FilterProblem(const std::string& filter);

class CMessageEditor : public QWidget {
  Q_OBJECT

 public:
  CMessageEditor(const std::vector<std::string>& receivers, QWidget* parent = nullptr);
  void Show(const CMessage& message);
  void Store(CMessage& message) const;
  // Runs the check of the text and shows its result; true when it is sound.
  bool CheckText();
  void UpdatePreview();

  QLineEdit* name_;
  QLineEdit* leftTrigger_;
  QLineEdit* midTriggers_[3];
  QCheckBox *caseSensitive_, *continueChecking_, *packMessages_, *active_;
  QComboBox* receiver_;
  QPlainTextEdit* text_;
  QLabel* checkResult_;
  QLineEdit* sample_;
  QDateTimeEdit* previewTime_;
  QPlainTextEdit* preview_;

 private:
  CMessage shown_;  // keeps flag values other than 0 and 1
};

}  // namespace meldrix
