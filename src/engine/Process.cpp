// Process: matching one incoming text against the configured messages and
// handing what matches to Send, packing texts to the same receivers.
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

// Below MaxPackedLength together (the joining blank not counted).
bool FitsPacked(const std::string& pending, const std::string& text, long maxPackedLength) {
  return static_cast<long long>(pending.size() + text.size()) < maxPackedLength;
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
        if (!message.m_PackMessages) {
          if (source.HasPackedMessage()) {
            if (source.m_PackReceivers == receivers &&
                FitsPacked(source.m_PackText, toSend, m_MaxPackedLength)) {
              toSend = source.m_PackText + " " + toSend;
            } else if (!Send(std::string(), source.m_PackReceivers, source.m_PackText)) {
              failed = true;
            }
            source.ClearPackedMessage();
          }
          if (!Send(message.m_Name, receivers, toSend)) failed = true;
        } else {
          if (!source.HasPackedMessage()) {
            source.m_PackReceivers = receivers;
            source.m_PackText = toSend;
          } else if (source.m_PackReceivers == receivers &&
                     FitsPacked(source.m_PackText, toSend, m_MaxPackedLength)) {
            source.m_PackText += ' ';
            source.m_PackText += toSend;
          } else {
            if (!Send(std::string(), source.m_PackReceivers, source.m_PackText)) failed = true;
            source.ClearPackedMessage();
            source.m_PackReceivers = receivers;
            source.m_PackText = toSend;
          }
          source.m_PackTimer = TimerStart(kPackTimeoutMs);
        }
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

void CMeldrixDoc::SendPackedMessage(CInPort& source) {
  if (!source.HasPackedMessage()) {
    source.ClearPackedMessage();
    return;
  }
  // Taken out first: the pending state is cleared whether the send succeeds
  // or not.
  std::string receivers = std::move(source.m_PackReceivers);
  std::string text = std::move(source.m_PackText);
  source.ClearPackedMessage();
  Send(std::string(), receivers, text);
}

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
