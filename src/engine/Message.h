// CMessage: one configured message, a filter plus what to send when it
// matches; CMessageArray: the messages in matching order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/ObArray.h"

namespace meldrix {

class CSection;

class CMessage {
 public:
  std::string m_Name;
  std::string m_Receiver;
  std::string m_Text;
  std::string m_LeftTrigger;
  std::string m_MidTrigger[3];
  std::int32_t m_CaseSensitive = 1;
  std::int32_t m_ContinueChecking = 0;
  std::int32_t m_PackMessages = 0;
  std::int32_t m_Active = 1;

  // Derived from the filter fields by PrepareFilters(), never stored.
  std::string m_PreparedLeftTrigger;
  std::string m_LeftTriggerMask;
  std::string m_PreparedMidTrigger[3];

  // Rebuilds the prepared filter strings; call after loading or editing.
  void PrepareFilters();
  // True when the text passes the prepared filters (Active is the caller's test).
  bool Matches(std::string_view text) const;

  // Reads the keys of a "Message%d" section and prepares the filters.
  void Load(const CSection& section);
  // Writes the keys; keys equal to their default are removed instead.
  void Save(CSection& section) const;
  // The end-of-list test of loading: both Name and LeftTrigger empty.
  static bool IsEndOfList(const CSection& section);
};

class CMessageArray : public COwningArray<CMessage> {
 public:
  // A deep copy, for editing the list on a copy.
  CMessageArray Clone() const;
};

}  // namespace meldrix
