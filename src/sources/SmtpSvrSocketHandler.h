// The SMTP dialogue of the mail sink: accepts any sender and recipient,
// collects one mail at a time and hands each finished mail on.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "mail/MailMessage.h"
#include "sources/SocketServer.h"

namespace meldrix {

// Bounds that keep a single client from exhausting memory or threads.
struct SmtpLimits {
  // Bytes of one command or data line; the rest of a longer line is dropped.
  std::size_t maxLineLength = 64 * 1024;
  // Bytes kept of one mail (header values, recipients and body); the rest of
  // the data is read and dropped, the mail is still finished.
  std::size_t maxMailSize = 10 * 1024 * 1024;
  // Connections served at once; one more gets kBusyReply and is closed.
  std::size_t maxConnections = 256;
  // Time for one whole command line, and for the whole data phase (DATA to
  // the final "."). A client past its limit gets "421 timeout, closing" and
  // is closed, so neither an idle nor a trickling client (one byte every few
  // minutes) can hold a connection slot for ever.
  int commandTimeoutMs = 5 * 60 * 1000;
  int dataTimeoutMs = 10 * 60 * 1000;
};

class CSmtpSvrSocketHandler : public CSocketServer {
 public:
  using LogCallback = std::function<void(const std::string&)>;

  static constexpr const char* kBusyReply = "421 too many connections, closing\r\n";
  static constexpr const char* kTimeoutText = "timeout, closing";  // sent with code 421

  explicit CSmtpSvrSocketHandler(SmtpLimits limits = {}, LogCallback log = {});

  void OnConnectionOpened() override;
  void OnBytesReceived(const char* data, std::size_t length) override;
  void OnTimeLimit() override;
  int TimeLeftMs() const override;
  // Runs on the connection's thread for every finished, decoded mail.
  virtual void OnMailReceived(CMailMessage& mail) { (void)mail; }

  int State() const { return state_; }
  const CMailMessage& Mail() const { return mail_; }

  // "Name <a@b>" and similar forms give the address between the angle brackets.
  static std::string ReduceAddress(std::string_view argument);

 protected:
  void HandleLine(std::string_view line);
  void Reply(int code, std::string_view text);
  void Log(const std::string& text) const;
  // Called from OnMailReceived when the mail could not be taken: it is
  // answered with a temporary error instead of "250 ok.".
  void RefuseMail() { mailRefused_ = true; }

 private:
  enum HeaderField { kNoField, kSubjectField, kContentTypeField, kOtherField };

  void HandleCommand(std::string_view line);
  void HandleHeaderLine(std::string_view line);
  void HandleBodyLine(std::string_view line);
  void EndOfData();
  void StartMail();
  void FinishMail();
  // Counts bytes against the mail's limit; false once the mail is full.
  bool Keep(std::size_t bytes);

  SmtpLimits limits_;
  LogCallback log_;
  int state_ = 0;
  std::string line_;
  bool lineCut_ = false;
  bool lastWasCr_ = false;
  CMailMessage mail_;
  std::size_t mailBytes_ = 0;
  bool mailCut_ = false;
  bool mailRefused_ = false;
  HeaderField lastHeader_ = kNoField;
  // Start of the current command line, or of the data phase.
  std::chrono::steady_clock::time_point limitStart_ = std::chrono::steady_clock::now();
};

}  // namespace meldrix
