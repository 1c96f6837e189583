// What the SMTP sink needs from the engine: its settings, a queue for the
// mail lines and the expression variables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace meldrix {

// Section "MailServer" of the configuration.
struct MailServerSettings {
  bool UseSubject = true;    // the subject becomes a message line
  bool UseBody = true;       // the body becomes message lines
  bool PackBody = false;     // the whole body becomes one line
  bool IncMailFrom = false;  // prefix "[FROM:" sender "]"
  bool IncMailTo = false;    // prefix "[TO:" first recipient "]"
  int SmtpPort = 26;         // TCP port of the sink
};

// Receives the texts of received mails; called on connection threads, so
// implementations serialise their queue themselves.
class IMailLineSink {
 public:
  virtual ~IMailLineSink() = default;
  // Mails are only turned into lines while processing is active.
  virtual bool IsProcessingActive() const = 0;
  // Appends the texts of one mail, in order, for the engine's internal
  // source "Mail". One call per mail, so an implementation that appends them
  // under one lock keeps a mail's texts together when mails arrive on
  // several connections at once. False when they cannot be taken now (the
  // queue is full): the mail is then refused with a temporary error, so the
  // sender keeps it and tries again.
  virtual bool QueueMailLines(std::vector<std::string> texts) = 0;
};

// Sets expression variables ("$MAILFROM", "$MAILTO", "$SUBJECT"); called on
// connection threads.
class IMailVariableSetter {
 public:
  virtual ~IMailVariableSetter() = default;
  virtual void SetVariable(const std::string& name, const std::string& value) = 0;
};

}  // namespace meldrix
