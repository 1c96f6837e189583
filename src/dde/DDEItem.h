// Items of a DDE topic: the base with its advise list, string and numeric
// items that keep their value as ANSI (Windows-1252) and UTF-16 text, and the
// System items that answer with generated lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/DdeTypes.h"

namespace meldrix {

class CDDETopic;

class CDDEItem {
 public:
  CDDEItem() = default;
  virtual ~CDDEItem();
  CDDEItem(const CDDEItem&) = delete;
  CDDEItem& operator=(const CDDEItem&) = delete;

  virtual void Create(const std::string& name, bool readOnly = false);
  // Posts an advise for this item when it belongs to a server's topic and the
  // caller is the server's owner thread; otherwise nothing happens.
  virtual void Changed();
  virtual bool Request(std::uint16_t format, std::string& data);
  virtual bool Poke(std::uint16_t format, const std::string& data);
  virtual bool SupportsFormat(std::uint16_t format) const;
  virtual std::vector<std::uint16_t> GetFormatList() const { return {}; }
  virtual bool AddAdvise(std::uint16_t format, DdeConv conv);
  virtual bool RemoveAdvise(DdeConv conv);

  const std::string& GetName() const { return m_Name; }
  bool IsReadOnly() const { return m_ReadOnly; }
  CDDETopic* GetTopic() const { return m_Topic; }
  void SetTopic(CDDETopic* topic) { m_Topic = topic; }
  const std::vector<DdeConv>& GetAdviseList() const { return m_AdviseList; }

 private:
  std::vector<DdeConv> m_AdviseList;
  std::string m_Name;
  CDDETopic* m_Topic = nullptr;
  bool m_ReadOnly = false;
};

class CDDEStringItem : public CDDEItem {
 public:
  bool Request(std::uint16_t format, std::string& data) override;
  bool Poke(std::uint16_t format, const std::string& data) override;
  std::vector<std::uint16_t> GetFormatList() const override { return {CF_TEXT, CF_UNICODETEXT}; }

  virtual void OnPoked() {}
  virtual void OnBeforeRequest() {}
  virtual void Clear();
  // Stores and posts an advise only when the text differs.
  virtual void SetValue(const std::string& text);
  virtual std::string GetValue() const { return m_Value; }

 protected:
  std::string m_Value;        // Windows-1252
  std::u16string m_WideValue;  // the same text
};

class CDDENumericItem : public CDDEStringItem {
 public:
  virtual void SetNumber(long n);
  // The text as an integer: decimal, "0x" hexadecimal or "0" octal.
  virtual long GetNumber() const;
};

// The zero-terminated wire form of a text in a text format.
std::string DdeTextData(const std::string& ansi, std::uint16_t format);
// The text of received data up to its first zero, as Windows-1252; false
// for a format that is not text.
bool DdeDataText(const std::string& data, std::uint16_t format, std::string& ansi);

class CDDEServer;

class CDDESystemItem : public CDDEItem {
 public:
  std::vector<std::uint16_t> GetFormatList() const override { return {CF_TEXT, CF_UNICODETEXT}; }

 protected:
  CDDEServer* Server() const;
  bool Answer(std::uint16_t format, const std::vector<std::string>& names, std::string& data);
};

// "Topics": every topic of the server.
class CDDESystemItem_TopicList : public CDDESystemItem {
 public:
  bool Request(std::uint16_t format, std::string& data) override;
};

// "SysItems" and "TopicItemList": the items of the System topic.
class CDDESystemItem_ItemList : public CDDESystemItem {
 public:
  bool Request(std::uint16_t format, std::string& data) override;
};

// "Formats": the formats the System topic's items support, by name.
class CDDESystemItem_FormatList : public CDDESystemItem {
 public:
  bool Request(std::uint16_t format, std::string& data) override;
};

// "TEXT", "UNICODETEXT", ... for the standard clipboard formats; empty for
// others (there is no clipboard to name registered formats).
std::string ClipboardFormatName(std::uint16_t format);

}  // namespace meldrix
