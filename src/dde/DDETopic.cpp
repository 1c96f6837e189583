#include "dde/DDETopic.h"

#include <algorithm>

#include "dde/DDEServer.h"
#include "platform/Cp1252.h"

namespace meldrix {

CDDETopic::~CDDETopic() {
  if (m_Server) m_Server->RemoveTopic(this);
}

bool CDDETopic::OnRequest(std::uint16_t format, const std::string& item, std::string& data) {
  CDDEItem* found = FindItem(item);
  return found && found->Request(format, data);
}

bool CDDETopic::OnPoke(std::uint16_t format, const std::string& item, const std::string& data) {
  CDDEItem* found = FindItem(item);
  if (!found || found->IsReadOnly()) return false;
  return found->Poke(format, data);
}

bool CDDETopic::OnExecute(std::uint16_t, const std::string&) { return false; }

CDDEItem* CDDETopic::FindItem(const std::string& name) const {
  for (CDDEItem* item : m_Items)
    if (EqualsNoCaseAscii(item->GetName(), name)) return item;
  return nullptr;
}

bool CDDETopic::OnAdviseStart(std::uint16_t format, DdeConv conv, const std::string& item) {
  CDDEItem* found = FindItem(item);
  return found && found->AddAdvise(format, conv);
}

bool CDDETopic::OnAdviseStop(DdeConv conv, const std::string& item) {
  CDDEItem* found = FindItem(item);
  return found && found->RemoveAdvise(conv);
}

bool CDDETopic::AddItem(CDDEItem* item) {
  if (std::find(m_Items.begin(), m_Items.end(), item) == m_Items.end()) m_Items.push_back(item);
  item->SetTopic(this);
  return true;
}

void CDDEServerSystemTopic::Create(const std::string& name) {
  CDDETopic::Create(name);
  m_TopicItemList.Create("TopicItemList");
  m_Formats.Create("Formats");
  AddItem(&m_TopicItemList);
  AddItem(&m_Formats);
}

}  // namespace meldrix
