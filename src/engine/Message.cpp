#include "engine/Message.h"

#include "engine/Filter.h"
#include "engine/Profile.h"
#include "engine/SettingsTable.h"

namespace meldrix {
namespace {

using enum SettingWrite;

// Section "Message%d", in the order of saving; the defaults are those of the
// member initialisers.
const SettingsTable<CMessage>& MessageSettings() {
  static const CMessage defaults;
  static const SettingsTable<CMessage> table{
      defaults,
      {
          {"Name", &CMessage::m_Name, kAlways},
          {"Receiver", &CMessage::m_Receiver, kUnlessDefault},
          {"Text", &CMessage::m_Text, kUnlessDefault},
          {"LeftTrigger", &CMessage::m_LeftTrigger, kUnlessDefault},
          {"CaseSensitive", &CMessage::m_CaseSensitive, kUnlessDefault},
          {"ContinueChecking", &CMessage::m_ContinueChecking, kUnlessDefault},
          {"PackMessages", &CMessage::m_PackMessages, kUnlessDefault},
          {"Active", &CMessage::m_Active, kUnlessDefault},
          {"MidTrigger1", SettingElement<&CMessage::m_MidTrigger, 0>(), kUnlessDefault},
          {"MidTrigger2", SettingElement<&CMessage::m_MidTrigger, 1>(), kUnlessDefault},
          {"MidTrigger3", SettingElement<&CMessage::m_MidTrigger, 2>(), kUnlessDefault},
      }};
  return table;
}

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
  MessageSettings().Load(section, *this);
  PrepareFilters();
}

void CMessage::Save(CSection& section) const { MessageSettings().Save(section, *this); }

bool CMessage::IsEndOfList(const CSection& section) {
  return section.GetString("Name").empty() && section.GetString("LeftTrigger").empty();
}

CMessageArray CMessageArray::Clone() const {
  CMessageArray copy;
  for (const auto& message : items_) {
    CMessage& clone = copy.AddNew();
    MessageSettings().Copy(*message, clone);
    clone.PrepareFilters();
  }
  return copy;
}

}  // namespace meldrix
