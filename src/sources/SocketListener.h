// A listening TCP socket with its own thread that serves every accepted
// connection with a new handler object on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/TcpSocket.h"
#include "sources/SocketServer.h"

namespace meldrix {

class CSocketListener {
 public:
  using HandlerFactory = std::function<std::unique_ptr<CSocketServer>()>;

  struct Options {
    // Connections served at once; 0 = no limit. A connection beyond it gets
    // rejectReply (when not empty) and is closed at once.
    std::size_t maxConnections = 0;
    std::string rejectReply;
    // Told the peer ("address:port") of every connection refused for the
    // limit; runs on the listener thread.
    std::function<void(const std::string& peer)> onRejected;
  };

  CSocketListener(HandlerFactory factory, Options options);
  ~CSocketListener();
  CSocketListener(const CSocketListener&) = delete;
  CSocketListener& operator=(const CSocketListener&) = delete;

  // Listens on port (0 = a free port, see Port()). False with error (errno)
  // when the port cannot be bound. A running listener is stopped first.
  bool Start(std::uint16_t port, int& error);
  // Closes the listening socket, ends every connection (each closes
  // gracefully, within about one second) and waits for all threads.
  // Must not be called from a connection's own thread.
  void Stop();

  bool IsRunning() const { return listenerThread_.joinable(); }
  std::uint16_t Port() const { return port_; }
  std::size_t ConnectionCount() const { return connectionCount_; }

 private:
  struct Connection {
    std::unique_ptr<CSocketServer> handler;
    std::thread thread;
    std::atomic<bool> finished{false};
  };

  void ListenLoop();
  void Accept();
  void ReapFinished();

  HandlerFactory factory_;
  Options options_;
  TcpSocket listenSocket_;
  std::unique_ptr<TcpWakeup> stop_;
  std::thread listenerThread_;
  std::uint16_t port_ = 0;
  std::atomic<std::size_t> connectionCount_{0};
  std::mutex connectionsMutex_;
  std::list<Connection> connections_;
};

}  // namespace meldrix
