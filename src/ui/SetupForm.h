// Pieces shared by the setup dialogs: choice lists keyed by the stored value,
// labelled form rows with accelerators, the list with add, copy, delete and
// move buttons, the serial-port list and the refusal of a bad field.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/ConfigValueReader.h"

namespace meldrix {

// A choice list whose items carry the stored values. `items` are (text id of
// the string table, value); a plain text is taken when no such id exists.
QComboBox* MakeChoice(QWidget* parent, const char* objectName, std::initializer_list<std::pair<const char*, int>> items);
// Selects the item of `value`; a stored value outside the list is kept as an
// item of its own, so opening and confirming a dialog never changes it.
void SetChoice(QComboBox* box, int value);
int Choice(const QComboBox* box);

// A row of `form`: the label from the string table (with its "&" accelerator)
// tied to `field`; the field gets `objectName`.
QWidget* AddRow(QFormLayout* form, const char* textId, QWidget* field, const char* objectName);

// The serial ports COM1..COM9 (stored 0..8), each shown with the device it
// opens (section "Ports" or /dev/ttyS<n-1>); a device that is not there is
// marked. Other serial devices of the machine are listed in `others`.
void FillSerialPorts(QComboBox* box, const ConfigValueReader& ports, QStringList* others = nullptr);

// The baud rates the dialogs offer; a stored rate outside them is kept.
QComboBox* MakeBaudChoice(QWidget* parent);
QComboBox* MakeDataBitChoice(QWidget* parent);
QComboBox* MakeParityChoice(QWidget* parent);
QComboBox* MakeStopBitChoice(QWidget* parent);
QComboBox* MakeHandshakeChoice(QWidget* parent);

// Speed and framing of a serial port: their rows in a form, and their values
// in any settings that carry m_Baud, m_DataBit, m_Parity, m_StopBit and m_Mode.
struct CSerialFraming {
  QComboBox *baud = nullptr, *dataBits = nullptr, *parity = nullptr, *stopBits = nullptr, *handshake = nullptr;

  void AddRows(QFormLayout* form, QWidget* parent);
  template <class Settings>
  void Show(const Settings& settings) const {
    SetChoice(baud, static_cast<int>(settings.m_Baud));
    SetChoice(dataBits, settings.m_DataBit);
    SetChoice(parity, settings.m_Parity);
    SetChoice(stopBits, settings.m_StopBit);
    SetChoice(handshake, settings.m_Mode);
  }
  template <class Settings>
  void Store(Settings& settings) const {
    settings.m_Baud = Choice(baud);
    settings.m_DataBit = Choice(dataBits);
    settings.m_Parity = Choice(parity);
    settings.m_StopBit = Choice(stopBits);
    settings.m_Mode = Choice(handshake);
  }
};

// Tells the operator why OK was refused and puts the focus on the field.
void RefuseField(QWidget* dialog, QWidget* field, const QString& text);
// "The field "%1" ..." texts name the field by its label, without "&" and ":".
QString FieldName(const char* textId);

// OK and Cancel for `dialog`, Enter and Escape included.
QWidget* MakeOkCancel(QDialog* dialog);

// A dialog that edits an ordered list: the list on the left with add, copy,
// delete, move up and move down, the editor of the current item on the
// right. Subclasses keep the items and move them between model and form.
class CListSetupDialog : public QDialog {
  Q_OBJECT

 public:
  CListSetupDialog(QWidget* parent, const QStringList& headers);
  QTreeWidget* List() const { return list_; }
  void accept() override;

 protected:
  // Lays out the list, `editor` and the buttons; call once the editor exists.
  void Build(QWidget* editor);
  // Fills the list from the items and selects `current`.
  void Refill(int current);
  int Current() const;

  virtual int Count() const = 0;
  virtual QStringList Columns(int index) const = 0;
  virtual void AddItem(int copyOf) = 0;  // -1 for a new item; appended
  virtual void RemoveItem(int index) = 0;
  virtual void SwapItems(int a, int b) = 0;
  // Extra look of a row (a check mark, say); the columns are set already.
  virtual void DecorateRow(QTreeWidgetItem& item, int index) {
    (void)item;
    (void)index;
  }
  virtual void ShowItem(int index) = 0;   // -1: nothing selected
  virtual void StoreItem(int index) = 0;  // form to model
  // Checks every item; shows the refusal itself.
  virtual bool Validate() = 0;
  // Makes `index` current and shows it (for a refusal).
  void Select(int index);
  void UpdateRow(int index);

 private:
  void OnCurrentChanged();
  void Move(int delta);

  QTreeWidget* list_;
  QPushButton* buttons_[5] = {};
  int shown_ = -1;
  bool refilling_ = false;
};

// The list dialog over a vector of settings: counting, adding (a copy or a
// default item, passed through `Added` for fixes such as a fresh Id),
// deleting and moving are the same for every kind of item.
template <class Item>
class CItemListSetupDialog : public CListSetupDialog {
 public:
  CItemListSetupDialog(std::vector<Item> items, QWidget* parent, const QStringList& headers)
      : CListSetupDialog(parent, headers), items_(std::move(items)) {}

 protected:
  int Count() const override { return static_cast<int>(items_.size()); }
  void AddItem(int copyOf) override {
    Item item = copyOf >= 0 ? items_[static_cast<size_t>(copyOf)] : Item{};
    Added(item);
    items_.push_back(std::move(item));
  }
  void RemoveItem(int index) override { items_.erase(items_.begin() + index); }
  void SwapItems(int a, int b) override { std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]); }
  virtual void Added(Item& item) { (void)item; }
  // The item at `index`, or a default one for -1 (nothing selected).
  Item ItemAt(int index) const { return index >= 0 ? items_[static_cast<size_t>(index)] : Item{}; }

  std::vector<Item> items_;
};

}  // namespace meldrix
