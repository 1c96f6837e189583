// The message setup: the configured messages in matching order with their
// active flag, name, filter and receivers, and the editor of the current one.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/Message.h"
#include "ui/MessageEditor.h"
#include "ui/SetupForm.h"

namespace meldrix {

class CMessageSetupDialog : public CItemListSetupDialog<CMessage> {
  Q_OBJECT

 public:
  // `receivers` are offered in the receiver field.
  CMessageSetupDialog(std::vector<CMessage> messages, const std::vector<std::string>& receivers,
                      QWidget* parent = nullptr);
  const std::vector<CMessage>& Messages() const { return items_; }
  CMessageEditor* Editor() const { return editor_; }

 protected:
  QStringList Columns(int index) const override;
  void DecorateRow(QTreeWidgetItem& item, int index) override;
  void ShowItem(int index) override;
  void StoreItem(int index) override;
  bool Validate() override;

 private:
  CMessageEditor* editor_;
};

}  // namespace meldrix
