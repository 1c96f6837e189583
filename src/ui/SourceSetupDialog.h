// The message source setup: the list of sources with a page per kind that
// shows only the fields the kind uses.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <vector>

#include "sources/InSourceSettings.h"
#include "sources/OutDestSettings.h"
#include "ui/SetupForm.h"

namespace meldrix {

class CSourceSetupDialog : public CItemListSetupDialog<InSourceSettings> {
  Q_OBJECT

 public:
  // `outputs` name the choices of the output assignment; `ports` reads the
  // section "Ports" for the serial devices.
  CSourceSetupDialog(std::vector<InSourceSettings> sources, const std::vector<OutDestSettings>& outputs,
                     const ConfigValueReader& ports, QWidget* parent = nullptr);
  const std::vector<InSourceSettings>& Sources() const { return items_; }

 protected:
  QStringList Columns(int index) const override;
  void ShowItem(int index) override;
  void StoreItem(int index) override;
  bool Validate() override;

 private:
  QWidget* MakeEditor(const std::vector<OutDestSettings>& outputs, const ConfigValueReader& ports);
  void ShowKindPage();

  QWidget* editor_ = nullptr;
  QLineEdit* name_ = nullptr;
  QComboBox* kind_ = nullptr;
  QComboBox* outId_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QComboBox *port_ = nullptr, *protocol_ = nullptr;
  CSerialFraming framing_;
  QLineEdit* file_ = nullptr;
  QCheckBox* removeFile_ = nullptr;
  QSpinBox *socketPort_ = nullptr, *idleTimeout_ = nullptr, *mailFields_ = nullptr;
  QLineEdit *mailServer_ = nullptr, *mailUser_ = nullptr, *mailPassword_ = nullptr, *mailPort_ = nullptr,
            *mailAuth_ = nullptr, *mailSslMode_ = nullptr;
};

}  // namespace meldrix
