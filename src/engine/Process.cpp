// Process: matching one incoming text against the configured messages and
// handing what matches to Send or to the source's packer.
#include "engine/Process.h"

#include <algorithm>
#include <vector>

#include "engine/Expansion.h"
#include "engine/MeldrixDoc.h"
#include "util/TextFields.h"

namespace meldrix {

std::string MessageFieldName(int n) {
  return std::string(kMessageFieldPrefix) + "[" + std::to_string(n) + "]";
}

namespace {

void PublishVariables(IVariableStore& variables, const CInPort& source, const std::string& text) {
  variables.SetVariable(kMessageVariable, text);
  variables.RemoveVariablesStartingWith(kMessageFieldPrefix);
  if (text.find(';') != std::string::npos) {
    std::vector<std::string> fields;
    SplitFields(text, fields, ';', true);
    for (std::size_t i = 0; i < fields.size(); ++i)
      variables.SetVariable(MessageFieldName(static_cast<int>(i + 1)), fields[i]);
  }
  variables.SetVariable(kInPortVariable, source.m_Name);
}

}  // namespace

void CMeldrixDoc::ShowLine(std::uint32_t colour, std::string_view text) {
  SetColour(colour);
  Write(text);
  Write("\n");
  SetColour(kColourDefault);
}

bool CMeldrixDoc::Process(CInPort& source, const std::string& text) {
  bool shown = false;
  if (!text.empty()) {
    IVariableStore& variables = GetVariables();
    PublishVariables(variables, source, text);
    bool failed = false;
    for (const auto& entry : m_Messages) {
      const CMessage& message = *entry;
      if (!message.m_Active || !message.Matches(text)) continue;

      // A failing block expands to nothing and leaves its message in "$ERROR".
      std::string toSend = message.m_Text.empty() ? text : ExpandText(message.m_Text, variables);
      // "|" separates the fields of Korvane's command.
      std::replace(toSend.begin(), toSend.end(), '|', '!');
      const std::string& receivers = message.m_Receiver;

      if (receivers.empty()) {
        if (!shown) ShowLine(kColourNoReceivers, text);
        shown = true;
      } else {
        if (!shown) ShowLine(kColourMatched, text);
        shown = true;
        const bool pack = message.m_PackMessages != 0;
        if (!source.m_Packer.Add(receivers, toSend, pack, m_MaxPackedLength, PackedSend())) failed = true;
      }
      // After a failed send the following messages still get their chance to
      // deliver the text.
      if (!message.m_ContinueChecking && !failed) return true;
    }
    if (shown) return false;
  }
  if (m_ShowInMessages) ShowLine(kColourDefault, text);
  return false;
}

CMessagePacker::SendFunction CMeldrixDoc::PackedSend() {
  // Send takes nothing from the message name, so the packer needs none.
  return [this](const std::string& receivers, const std::string& text) {
    return Send(std::string(), receivers, text);
  };
}

void CMeldrixDoc::SendPackedMessage(CInPort& source) { source.m_Packer.Flush(PackedSend()); }

bool CMeldrixDoc::ProcessInternal(const std::string& name, int kind, const std::string& text) {
  if (!m_ProcessingActive) return false;
  CInPort source;
  source.m_Name = name;
  source.m_Source = kind;
  const bool stopped = Process(source, text);
  SendPackedMessage(source);
  return stopped;
}

}  // namespace meldrix
