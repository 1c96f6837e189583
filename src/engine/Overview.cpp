// The overview of message sources and their outputs.
#include "engine/MeldrixDoc.h"
#include "util/StringTable.h"

namespace meldrix {

std::string CMeldrixDoc::GetOverviewText(
    const std::function<std::string(const CInPort&)>& describeSource,
    const std::function<std::string(const COutPort&)>& describeOutput) {
  std::string text;
  for (const auto& port : m_InPorts) {
    text += describeSource(*port);
    text += "\r\n    --> ";
    const COutPort* output = m_OutPorts.FindById(port->m_OutId);
    text += output != nullptr ? describeOutput(*output) : LoadText("IDS_NONE");
    text += "\r\n\r\n";
  }
  return text;
}

}  // namespace meldrix
