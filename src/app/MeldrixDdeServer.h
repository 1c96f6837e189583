// The program's DDE service "Meldrix": other programs execute
// "[messageid(text)]" on the topic "Signal" to hand a text to the engine, and
// read from the item "Result" whether the last command was accepted.
#pragma once

#include <functional>
#include <string>

#include "dde/DDEServer.h"

namespace meldrix {

inline constexpr char kMeldrixDdeService[] = "Meldrix";

// "Result": 1 after an accepted command, 0 otherwise.
class CMsgResultItem : public CDDENumericItem {};

class CMsgSignalTopic : public CDDETopic {
 public:
  // `process` receives the text of an accepted command (it does nothing
  // while processing is inactive).
  explicit CMsgSignalTopic(std::function<void(const std::string&)> process);
  bool OnExecute(std::uint16_t format, const std::string& data) override;
  CMsgResultItem& Result() { return m_Result; }

 private:
  std::function<void(const std::string&)> m_Process;
  CMsgResultItem m_Result;
};

class CMeldrixDdeServer : public CDDEServer {
 public:
  explicit CMeldrixDdeServer(std::function<void(const std::string&)> process);
  ~CMeldrixDdeServer() override;
  // Registers the service "Meldrix" with the program's flags.
  bool Create() { return CDDEServer::Create(kMeldrixDdeService, kFlags); }
  bool OnCreate() override;
  CMsgSignalTopic& Signal() { return m_Signal; }

  static constexpr std::uint32_t kFlags = CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS;

 private:
  CMsgSignalTopic m_Signal;
};

// The text of an accepted "[messageid(...)]" command (compared without
// regard to case, at least 14 characters), or nothing.
bool ParseMessageIdCommand(const std::string& command, std::string& text);

}  // namespace meldrix
