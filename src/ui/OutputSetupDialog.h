// The output setup: the list of outputs (COM, LPT or file) with the fields of
// the chosen destination.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <functional>
#include <string>
#include <vector>

#include "sources/OutDestSettings.h"
#include "ui/SetupForm.h"

namespace meldrix {

class COutputSetupDialog : public CItemListSetupDialog<OutDestSettings> {
  Q_OBJECT

 public:
  // `checkText` gives the position of the first faulty expression block of a
  // file name (0 when all are sound).
  COutputSetupDialog(std::vector<OutDestSettings> outputs, const ConfigValueReader& ports,
                     std::function<int(const std::string&)> checkText, QWidget* parent = nullptr);
  const std::vector<OutDestSettings>& Outputs() const { return items_; }

 protected:
  QStringList Columns(int index) const override;
  void Added(OutDestSettings& output) override;
  void ShowItem(int index) override;
  void StoreItem(int index) override;
  bool Validate() override;

 private:
  QWidget* MakeEditor(const ConfigValueReader& ports);
  void ShowDestPage();

  std::function<int(const std::string&)> checkText_;
  QWidget* editor_ = nullptr;
  QLineEdit* name_ = nullptr;
  QSpinBox* id_ = nullptr;
  QComboBox* dest_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QComboBox* port_ = nullptr;
  CSerialFraming framing_;
  QWidget* serial_ = nullptr;
  QLineEdit* file_ = nullptr;
  QCheckBox* fileMode_ = nullptr;
};

}  // namespace meldrix
