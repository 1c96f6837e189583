// The mail service's TCP side: listens on one address, one request per
// connection, one thread per connection (at most a set number at once, the
// others wait in the backlog), so a slow POP3 fetch for one client does not
// hold up the others.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "MailService.h"
#include "platform/TcpSocket.h"

namespace meldrix::mailservice {

struct ServerOptions {
  std::string address = "127.0.0.1";
  std::uint16_t port = 20010;
  std::size_t maxConnections = 32;
  std::size_t maxRequestSize = 64 * 1024;
  int requestTimeoutMs = 10000;
};

class CServiceServer {
 public:
  CServiceServer(ServerOptions options, CMailService& service, std::function<void(const std::string&)> log);
  ~CServiceServer();

  // Binds and listens; false with the reason in `error`.
  bool Start(std::string& error);
  // The port listened on (useful when 0 was asked for).
  std::uint16_t Port() const;
  // Serves until Stop() is called (from a signal handler's thread or another).
  void Run();
  void Stop();

 private:
  void Serve(TcpSocket connection);
  void Log(const std::string& text) const {
    if (log_) log_(text);
  }

  ServerOptions options_;
  CMailService& service_;
  std::function<void(const std::string&)> log_;
  TcpSocket listener_;
  TcpWakeup stop_;
  std::mutex lock_;
  std::condition_variable slotFree_;
  std::size_t active_ = 0;
  std::list<std::thread> threads_;
  std::list<std::thread::id> finished_;
};

}  // namespace meldrix::mailservice
