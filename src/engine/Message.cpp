#include "engine/Message.h"

#include "engine/Filter.h"
#include "engine/Profile.h"

namespace meldrix {
namespace {

const char* const kMidTriggerKeys[3] = {"MidTrigger1", "MidTrigger2", "MidTrigger3"};

}  // namespace

void CMessage::PrepareFilters() {
  const bool caseSensitive = m_CaseSensitive != 0;
  PreparedFilter left = PrepareFilter(m_LeftTrigger, caseSensitive, true);
  m_PreparedLeftTrigger = std::move(left.text);
  m_LeftTriggerMask = std::move(left.mask);
  for (int i = 0; i < 3; ++i)
    m_PreparedMidTrigger[i] = PrepareFilter(m_MidTrigger[i], caseSensitive, false).text;
}

bool CMessage::Matches(std::string_view text) const {
  return MatchesFilter(text, m_PreparedLeftTrigger, m_LeftTriggerMask, m_PreparedMidTrigger,
                       m_CaseSensitive != 0);
}

void CMessage::Load(const CSection& section) {
  m_Name = section.GetString("Name");
  m_LeftTrigger = section.GetString("LeftTrigger");
  for (int i = 0; i < 3; ++i) m_MidTrigger[i] = section.GetString(kMidTriggerKeys[i]);
  m_Receiver = section.GetString("Receiver");
  m_Text = section.GetString("Text");
  m_CaseSensitive = section.GetInt("CaseSensitive", 1);
  m_ContinueChecking = section.GetInt("ContinueChecking", 0);
  m_PackMessages = section.GetInt("PackMessages", 0);
  m_Active = section.GetInt("Active", 1);
  PrepareFilters();
}

void CMessage::Save(CSection& section) const {
  section.WriteString("Name", m_Name);
  section.WriteString("Receiver", m_Receiver, "");
  section.WriteString("Text", m_Text, "");
  section.WriteString("LeftTrigger", m_LeftTrigger, "");
  section.WriteInt("CaseSensitive", m_CaseSensitive, 1);
  section.WriteInt("ContinueChecking", m_ContinueChecking, 0);
  section.WriteInt("PackMessages", m_PackMessages, 0);
  section.WriteInt("Active", m_Active, 1);
  for (int i = 0; i < 3; ++i) section.WriteString(kMidTriggerKeys[i], m_MidTrigger[i], "");
}

bool CMessage::IsEndOfList(const CSection& section) {
  return section.GetString("Name").empty() && section.GetString("LeftTrigger").empty();
}

CMessageArray CMessageArray::Clone() const {
  CMessageArray copy;
  for (const auto& message : items_) copy.AddNew(*message);
  return copy;
}

}  // namespace meldrix
