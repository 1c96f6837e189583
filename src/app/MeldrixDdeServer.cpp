#include "app/MeldrixDdeServer.h"

#include "platform/Cp1252.h"
#include "util/TrimWhiteSpace.h"

namespace meldrix {

bool ParseMessageIdCommand(const std::string& command, std::string& text) {
  static const std::string kStart = "[messageid(";
  static const std::string kEnd = ")]";
  if (command.size() < 14) return false;
  if (!EqualsNoCaseAscii(command.substr(0, kStart.size()), kStart)) return false;
  if (command.compare(command.size() - kEnd.size(), kEnd.size(), kEnd) != 0) return false;
  text = command.substr(kStart.size(), command.size() - kStart.size() - kEnd.size());
  return true;
}

CMsgSignalTopic::CMsgSignalTopic(std::function<void(const std::string&)> process)
    : m_Process(std::move(process)) {
  Create("Signal");
  m_Result.Create("Result");
  m_Result.SetNumber(0);
  AddItem(&m_Result);
}

bool CMsgSignalTopic::OnExecute(std::uint16_t format, const std::string& data) {
  std::string command;
  if (format == CF_TEXT || format == CF_UNICODETEXT) DdeDataText(data, format, command);
  command = TrimWhiteSpace(command);
  m_Result.SetNumber(0);
  std::string text;
  if (!ParseMessageIdCommand(command, text)) return false;
  if (m_Process) m_Process(text);
  m_Result.SetNumber(1);
  return true;
}

CMeldrixDdeServer::CMeldrixDdeServer(std::function<void(const std::string&)> process)
    : m_Signal(std::move(process)) {}

CMeldrixDdeServer::~CMeldrixDdeServer() { Shutdown(); }

bool CMeldrixDdeServer::OnCreate() {
  AddTopic(&m_Signal);
  return true;
}

}  // namespace meldrix
