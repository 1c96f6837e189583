#include "sources/SmtpSvrSocketHandler.h"

#include <algorithm>

#include "util/RegExpr.h"
#include "util/Trace.h"
#include "platform/Cp1252.h"
#include "util/DateTimeParse.h"
#include "util/TrimWhiteSpace.h"

namespace meldrix {
namespace {

// True when line begins with command, compared without regard to case.
bool IsCommand(std::string_view line, std::string_view command) {
  return line.size() >= command.size() && EqualsNoCaseAscii(line.substr(0, command.size()), command);
}

// The argument of a command: the rest of the line, white space cut.
std::string Argument(std::string_view line, std::string_view command) {
  return TrimWhiteSpace(line.substr(command.size()));
}

}  // namespace

CSmtpSvrSocketHandler::CSmtpSvrSocketHandler(SmtpLimits limits, LogCallback log)
    : limits_(limits), log_(std::move(log)) {}

std::string CSmtpSvrSocketHandler::ReduceAddress(std::string_view argument) {
  CRegExpr pattern("^.*<(.*)>.*$");
  // A hostile line of many "<" without ">" must not keep the thread busy.
  pattern.SetMatchLimits(RegMatchLimits{1u << 14, 400'000});
  if (pattern.Match(argument)) return pattern.GroupText(1);
  return std::string(argument);
}

void CSmtpSvrSocketHandler::Log(const std::string& text) const {
  if (log_) log_(text);
}

void CSmtpSvrSocketHandler::Reply(int code, std::string_view text) {
  std::string reply = std::to_string(code);
  reply += ' ';
  reply += text;
  const std::string traced = reply.substr(0, 2000);
  reply += "\r\n";
  TraceMessage(kTraceMail, "SMTP TX(%d): %s<CR><LF>\n", static_cast<int>(reply.size()), traced.c_str());
  Send(reply);
}

void CSmtpSvrSocketHandler::OnConnectionOpened() {
  state_ = 0;
  limitStart_ = std::chrono::steady_clock::now();
  Reply(220, "ostravel SMTP message sink");
}

int CSmtpSvrSocketHandler::TimeLeftMs() const {
  const bool data = state_ == 2 || state_ == 3;
  const std::chrono::milliseconds limit(data ? limits_.dataTimeoutMs : limits_.commandTimeoutMs);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      limitStart_ + limit - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

void CSmtpSvrSocketHandler::OnTimeLimit() {
  Reply(421, kTimeoutText);
  CloseConnection();
}

void CSmtpSvrSocketHandler::OnBytesReceived(const char* data, std::size_t length) {
  for (std::size_t i = 0; i < length && !CloseRequested(); ++i) {
    const char c = data[i];
    if (c == '\r' || c == '\n') {
      // CR ends a line, and so does a bare LF (some senders end lines with LF
      // alone); the LF of CR LF is dropped.
      const bool lfOfCrLf = c == '\n' && lastWasCr_;
      lastWasCr_ = c == '\r';
      if (lfOfCrLf) continue;
      std::string line;
      line.swap(line_);
      lineCut_ = false;
      HandleLine(line);
      // The command limit counts from the end of the last line; the data
      // phase has one limit for all its lines.
      if (state_ != 2 && state_ != 3) limitStart_ = std::chrono::steady_clock::now();
      continue;
    }
    lastWasCr_ = false;
    if (line_.size() < limits_.maxLineLength) {
      line_.push_back(c);
    } else if (!lineCut_) {
      lineCut_ = true;
      Log("SMTP: a line longer than " + std::to_string(limits_.maxLineLength) + " bytes was cut");
    }
  }
}

void CSmtpSvrSocketHandler::HandleLine(std::string_view line) {
  const std::string traced(line.substr(0, 200));
  TraceMessage(kTraceMail, "SMTP RX(%d): %s\n", static_cast<int>(line.size()), traced.c_str());
  switch (state_) {
    case 2:
      HandleHeaderLine(line);
      break;
    case 3:
      HandleBodyLine(line);
      break;
    default:
      HandleCommand(line);
      break;
  }
}

void CSmtpSvrSocketHandler::HandleCommand(std::string_view line) {
  if (state_ == 0 && (IsCommand(line, "HELO") || IsCommand(line, "EHLO"))) {
    Reply(250, "ostravel says hello");
    StartMail();
    state_ = 1;
  } else if ((state_ == 0 || state_ == 1) && IsCommand(line, "VRFY")) {
    Reply(250, Argument(line, "VRFY"));
  } else if ((state_ == 1 || state_ == 4) && IsCommand(line, "MAIL From:")) {
    const std::string argument = Argument(line, "MAIL From:");
    Reply(250, "sender ok: " + argument);
    if (state_ == 4) StartMail();
    if (Keep(argument.size())) mail_.sender = ReduceAddress(argument);
    state_ = 1;
  } else if (state_ == 1 && IsCommand(line, "RCPT To:")) {
    const std::string argument = Argument(line, "RCPT To:");
    Reply(250, "receiver ok: " + argument);
    if (Keep(argument.size())) mail_.AddRecipient(ReduceAddress(argument));
  } else if (state_ == 1 && IsCommand(line, "DATA")) {
    Reply(354, "send data.");
    lastHeader_ = kNoField;
    state_ = 2;
    limitStart_ = std::chrono::steady_clock::now();
  } else if (IsCommand(line, "QUIT")) {
    Reply(221, "closing");
    CloseConnection();
  } else if (line.empty()) {
    // nothing to answer
  } else {
    Reply(500, "Command not recognized: " + std::string(line.substr(0, 4)));
  }
}

void CSmtpSvrSocketHandler::HandleHeaderLine(std::string_view line) {
  if (line.empty()) {
    state_ = 3;  // end of the mail header
    return;
  }
  if (line == ".") {  // a mail of headers only ends here as well
    EndOfData();
    return;
  }
  // A folded header line continues the field before it. Subject and content
  // type are unfolded so a long subject is not cut at its first line.
  if (line.front() == ' ' || line.front() == '\t') {
    if (lastHeader_ == kSubjectField && Keep(line.size())) {
      mail_.subject += line;
    } else if (lastHeader_ == kContentTypeField && Keep(line.size())) {
      mail_.contentType += line;
    }
    return;
  }
  lastHeader_ = kOtherField;
  if (IsCommand(line, "TO:")) {
    const std::string argument = Argument(line, "TO:");
    if (Keep(argument.size())) mail_.AddRecipient(ReduceAddress(argument));
  } else if (IsCommand(line, "FROM:")) {
    const std::string argument = Argument(line, "FROM:");
    if (Keep(argument.size())) mail_.sender = ReduceAddress(argument);
  } else if (IsCommand(line, "DATE:")) {
    const std::string argument = Argument(line, "DATE:");
    if (Keep(argument.size())) {
      mail_.dateText = argument;
      DateTime date;
      ParseDateTime(argument, date);  // an unreadable date leaves the time of receipt
      mail_.date = date;
    }
  } else if (IsCommand(line, "SUBJECT:")) {
    const std::string argument = Argument(line, "SUBJECT:");
    if (Keep(argument.size())) mail_.subject = argument;
    lastHeader_ = kSubjectField;
  } else if (IsCommand(line, "MESSAGE-ID:")) {
    const std::string argument = Argument(line, "MESSAGE-ID:");
    if (Keep(argument.size())) mail_.messageId = argument;
  } else if (IsCommand(line, "X-MAILER:")) {
    const std::string argument = Argument(line, "X-MAILER:");
    if (Keep(argument.size())) mail_.mailer = argument;
  } else if (IsCommand(line, "Content-Transfer-Encoding:")) {
    const std::string argument = Argument(line, "Content-Transfer-Encoding:");
    if (Keep(argument.size())) mail_.transferEncoding = argument;
  } else if (IsCommand(line, "Content-Type:")) {
    // Kept so a multipart mail without a preamble line is still recognised.
    const std::string argument = Argument(line, "Content-Type:");
    if (Keep(argument.size())) mail_.contentType = argument;
    lastHeader_ = kContentTypeField;
  } else if (IsCommand(line, "QUIT")) {
    Reply(221, "closing");
    CloseConnection();
  }
}

void CSmtpSvrSocketHandler::EndOfData() {
  FinishMail();
  if (mailRefused_)
    Reply(451, "mail queue full, try again later");
  else
    Reply(250, "ok.");
  state_ = 4;
}

void CSmtpSvrSocketHandler::HandleBodyLine(std::string_view line) {
  if (line == ".") {
    EndOfData();
    return;
  }
  // Transparency: the sender doubled the dot of every line that begins with
  // one, so ".." is a "." line and "..x" is ".x".
  if (!line.empty() && line.front() == '.') line.remove_prefix(1);
  const std::size_t added = line.size() + (mail_.body.empty() ? 0 : 2);
  if (!Keep(added)) return;
  if (!mail_.body.empty()) mail_.body += "\r\n";
  mail_.body += line;
}

void CSmtpSvrSocketHandler::StartMail() {
  mail_.Clear();
  mailBytes_ = 0;
  mailCut_ = false;
  lastHeader_ = kNoField;
}

bool CSmtpSvrSocketHandler::Keep(std::size_t bytes) {
  if (!mailCut_ && mailBytes_ + bytes <= limits_.maxMailSize) {
    mailBytes_ += bytes;
    return true;
  }
  if (!mailCut_) {
    mailCut_ = true;
    Log("SMTP: mail from " + mail_.sender + " is larger than " + std::to_string(limits_.maxMailSize) +
        " bytes; the rest was dropped");
  }
  return false;
}

void CSmtpSvrSocketHandler::FinishMail() {
  mail_.DecodeSubject();
  mail_.DecodeBody();
  // The mail is handed on before "250 ok." goes out, so a client that got
  // the reply can rely on the mail having been taken.
  mailRefused_ = false;
  OnMailReceived(mail_);
}

}  // namespace meldrix
