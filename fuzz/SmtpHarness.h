// The program's SMTP sink without a socket: replies are kept in memory, the
// finished mails become message lines and variables as in the program.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "sources/SmtpMeldrixHandler.h"

namespace meldrix::fuzz {

class LineSinkStub : public IMailLineSink {
 public:
  bool IsProcessingActive() const override { return true; }
  bool QueueMailLines(std::vector<std::string> texts) override {
    ++mails;
    // Alternate acceptance so the refusal path ("451") is driven too.
    return (mails % 3) != 0 || texts.empty();
  }
  int mails = 0;
};

class VariableStub : public IMailVariableSetter {
 public:
  void SetVariable(const std::string&, const std::string& value) override { bytes += value.size(); }
  std::size_t bytes = 0;
};

class SmtpHarness : public CMeldrixSmtpHandler {
 public:
  SmtpHarness(MailServerSettings settings, SmtpLimits limits)
      : CMeldrixSmtpHandler(sink_, variables_, [settings] { return settings; }, limits, CountLimits),
        limits_(limits) {}

  // The sink logs each limit it meets.
  static void CountLimits(const std::string& text) {
    if (text.find("a line longer than") != std::string::npos) LimitCounts::Met("SMTP line length");
    if (text.find("bytes; the rest was dropped") != std::string::npos) LimitCounts::Met("SMTP mail size");
  }
  static void WatchLimits() {
    LimitCounts::Watch("SMTP line length");
    LimitCounts::Watch("SMTP mail size");
  }

  // Every reply is one line with a three-digit code; a mail never keeps
  // more than its limit allows.
  bool Send(std::string_view text) override {
    if (text.size() < 6 || text.substr(text.size() - 2) != "\r\n") std::abort();
    for (int i = 0; i < 3; ++i)
      if (text[i] < '0' || text[i] > '9') std::abort();
    if (text.substr(0, text.size() - 2).find_first_of("\r\n") != std::string_view::npos) std::abort();
    replies.emplace_back(text.substr(0, 3));
    return true;
  }

  void Feed(std::string_view bytes, std::size_t chunk) {
    OnConnectionOpened();
    if (chunk == 0) chunk = 1;
    for (std::size_t at = 0; at < bytes.size() && !CloseRequested(); at += chunk) {
      const std::string_view piece = bytes.substr(at, chunk);
      OnBytesReceived(piece.data(), piece.size());
    }
  }

  std::vector<std::string> replies;

 private:
  LineSinkStub sink_;
  VariableStub variables_;
  SmtpLimits limits_;
};

}  // namespace meldrix::fuzz
