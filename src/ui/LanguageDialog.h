// The language chooser: Deutsch, English, Français (the indexes 0 to 2 of
// the "Language" setting).
#pragma once

#include <QDialog>
#include <QListWidget>

namespace meldrix {

class CLanguageDialog : public QDialog {
  Q_OBJECT

 public:
  CLanguageDialog(int current, QWidget* parent = nullptr);
  int Chosen() const { return list_->currentRow(); }
  QListWidget* List() const { return list_; }

 private:
  QListWidget* list_;
};

}  // namespace meldrix
