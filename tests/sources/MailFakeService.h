// A stand-in for the local mail service on a free loopback port: records each
// request and answers it through a handler, which may also split its reply,
// pause, or not answer at all.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/TcpSocket.h"
#include "sources/MailServiceProtocol.h"

namespace meldrix::testing {

class FakeMailService {
 public:
  // The reply in pieces, sent with a pause between them; no pieces: the
  // connection stays open without an answer until the client gives up.
  using Handler = std::function<std::vector<std::string>(const CMailXmlDocument& request)>;

  explicit FakeMailService(Handler handler) : handler_(std::move(handler)) {
    int error = 0;
    listener_ = TcpListen(0, error);
    thread_ = std::thread([this] { Run(); });
  }
  ~FakeMailService() {
    stop_.Signal();
    thread_.join();
  }
  std::uint16_t Port() const { return TcpLocalPort(listener_); }
  std::vector<std::string> Functions() const {
    std::lock_guard guard(lock_);
    return functions_;
  }
  std::vector<CMailXmlDocument> Requests() const {
    std::lock_guard guard(lock_);
    return requests_;
  }

  // A reply document of these (already escaped) elements.
  static std::string Reply(const std::vector<std::pair<std::string, std::string>>& elements) {
    return MailXmlDocumentText(elements);
  }

 private:
  void Run() {
    while (!stop_.IsSignalled()) {
      if (TcpWaitReadable(listener_.Fd(), stop_.Fd(), -1) != TcpWaitResult::Ready) continue;
      int error = 0;
      TcpSocket connection = TcpAccept(listener_, error);
      if (connection.IsOpen()) Serve(connection);
    }
  }
  void Serve(TcpSocket& connection) {
    std::string text;
    char buffer[4096];
    while (text.find("</MailXML>") == std::string::npos) {
      if (TcpWaitReadable(connection.Fd(), stop_.Fd(), 5000) != TcpWaitResult::Ready) return;
      int error = 0;
      const long got = TcpReceive(connection, buffer, sizeof buffer, error);
      if (got == 0) return;
      if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
    }
    const auto request = CMailXmlDocument::Parse(text);
    if (!request) return;
    {
      std::lock_guard guard(lock_);
      functions_.push_back(request->Value("FKTName"));
      requests_.push_back(*request);
    }
    const std::vector<std::string> pieces = handler_(*request);
    if (pieces.empty()) {
      // Hangs: holds the connection until the client closes it.
      TcpWaitReadable(connection.Fd(), stop_.Fd(), 60000);
      return;
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(150));
      int error = 0;
      TcpSendAll(connection, pieces[i], 5000, error);
    }
    TcpGracefulClose(connection, stop_.Fd());
  }

  Handler handler_;
  TcpSocket listener_;
  TcpWakeup stop_;
  std::thread thread_;
  mutable std::mutex lock_;
  std::vector<std::string> functions_;
  std::vector<CMailXmlDocument> requests_;
};

}  // namespace meldrix::testing
