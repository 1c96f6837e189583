// A topic of a DDE server with its items, and the standard System topic.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dde/DDEItem.h"

namespace meldrix {

class CDDEServer;

class CDDETopic {
 public:
  CDDETopic() = default;
  // A destroyed topic leaves its server.
  virtual ~CDDETopic();
  CDDETopic(const CDDETopic&) = delete;
  CDDETopic& operator=(const CDDETopic&) = delete;

  virtual void Create(const std::string& name) { m_Name = name; }
  virtual bool OnRequest(std::uint16_t format, const std::string& item, std::string& data);
  // False when the item is missing or read-only.
  virtual bool OnPoke(std::uint16_t format, const std::string& item, const std::string& data);
  // Topics that take commands override it.
  virtual bool OnExecute(std::uint16_t format, const std::string& data);
  // The first item whose name equals, ignoring case.
  virtual CDDEItem* FindItem(const std::string& name) const;
  virtual bool OnAdviseStart(std::uint16_t format, DdeConv conv, const std::string& item);
  virtual bool OnAdviseStop(DdeConv conv, const std::string& item);

  bool AddItem(CDDEItem* item);
  const std::string& GetName() const { return m_Name; }
  CDDEServer* GetServer() const { return m_Server; }
  void SetServer(CDDEServer* server) { m_Server = server; }
  const std::vector<CDDEItem*>& GetItems() const { return m_Items; }

 private:
  std::string m_Name;
  CDDEServer* m_Server = nullptr;
  std::vector<CDDEItem*> m_Items;  // not owned
};

class CDDEServerSystemTopic : public CDDETopic {
 public:
  // Sets the name and adds "TopicItemList" and "Formats".
  void Create(const std::string& name) override;

 private:
  CDDESystemItem_ItemList m_TopicItemList;
  CDDESystemItem_FormatList m_Formats;
};

}  // namespace meldrix
