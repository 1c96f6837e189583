// A document with a fake Korvane for the engine's processing tests.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ConfigTestSupport.h"
#include "engine/Korvane.h"
#include "engine/MeldrixDoc.h"
#include "engine/Message.h"

namespace meldrix::enginetest {

// Answers every command with the next queued result, else job numbers.
class FakeKorvane : public IKorvane {
 public:
  KorvaneResult Execute(std::string_view command) override {
    commands.emplace_back(command);
    if (!replies.empty()) {
      KorvaneResult result = replies.front();
      replies.pop_front();
      return result;
    }
    return {KORVANE_S_OK, std::to_string(commands.size())};
  }
  std::vector<std::string> commands;
  std::deque<KorvaneResult> replies;
};

struct LogLine {
  std::string text;
  std::uint32_t colour;
  bool operator==(const LogLine&) const = default;
};

// Every completed line of a log (the empty current line left out).
inline std::vector<LogLine> LogLines(const CStreamDoc& log) {
  std::vector<LogLine> lines;
  for (int row = 0; row + 1 < log.LineCount(); ++row) lines.push_back({log.Line(row).text, log.Line(row).colour});
  return lines;
}

struct EngineFixture {
  profiletest::ProfileConfigFixture config;
  std::unique_ptr<CMeldrixDoc> doc;
  std::shared_ptr<FakeKorvane> korvane = std::make_shared<FakeKorvane>();
  explicit EngineFixture(const std::string& content = "") {
    doc = config.Load(content);
    doc->SetKorvane(korvane);
  }
  CMessage& AddMessage(const std::string& leftTrigger, const std::string& receiver,
                       const std::string& text = "") {
    CMessage& message = doc->m_Messages.AddNew();
    message.m_Name = "M" + std::to_string(doc->m_Messages.GetSize());
    message.m_LeftTrigger = leftTrigger;
    message.m_Receiver = receiver;
    message.m_Text = text;
    message.PrepareFilters();
    return message;
  }
  CInPort& AddSource(const std::string& name, int kind = CInPort::kSerial) {
    CInPort& port = doc->m_InPorts.AddNew();
    port.m_Name = name;
    port.m_Source = kind;
    return port;
  }
  std::vector<LogLine> Log() const { return LogLines(*doc); }
};

}  // namespace meldrix::enginetest
