// One accepted TCP connection, served on one thread for its whole life.
// Derived classes give the protocol through the three connection operations;
// all of them run on that thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>

#include "platform/TcpSocket.h"

namespace meldrix {

class CSocketServer {
 public:
  CSocketServer() = default;
  virtual ~CSocketServer() = default;
  CSocketServer(const CSocketServer&) = delete;
  CSocketServer& operator=(const CSocketServer&) = delete;

  virtual void OnConnectionOpened() {}
  virtual void OnConnectionClosed() {}
  virtual void OnBytesReceived(const char* data, std::size_t length) = 0;
  // A read failed (not the peer's regular close); the connection ends.
  virtual void OnReceiveError(int error) { (void)error; }
  // The connection's time limit has run out (TimeLeftMs() gave 0); the
  // default ends the connection.
  virtual void OnTimeLimit() { CloseConnection(); }
  // Milliseconds left of the connection's current time limit; -1 = no limit.
  // Asked before every wait, so a derived class decides what restarts it
  // (a received block, a finished line).
  virtual int TimeLeftMs() const { return -1; }

  // Sends the whole text to the peer; false when the connection is gone.
  virtual bool Send(std::string_view text);
  // Ends the connection gracefully once the current operation returns.
  void CloseConnection() { closeRequested_ = true; }
  bool CloseRequested() const { return closeRequested_; }

  // Serves socket on the calling thread until the peer closes, the handler
  // closes, or stop is signalled; then closes gracefully.
  void Run(TcpSocket socket, int stopFd);

  // A reply that cannot leave within this time counts as a lost connection.
  static constexpr int kSendTimeoutMs = 30000;
  // Bytes read from the socket at once; larger amounts come in several reads.
  static constexpr std::size_t kReceiveChunk = 64 * 1024;

 private:
  TcpSocket socket_;
  int stopFd_ = -1;
  std::atomic<bool> closeRequested_{false};
};

}  // namespace meldrix
