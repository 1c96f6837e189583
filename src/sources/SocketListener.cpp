#include "sources/SocketListener.h"

#include <cerrno>

namespace meldrix {

CSocketListener::CSocketListener(HandlerFactory factory, Options options)
    : factory_(std::move(factory)), options_(std::move(options)) {}

CSocketListener::~CSocketListener() { Stop(); }

bool CSocketListener::Start(std::uint16_t port, int& error) {
  Stop();
  auto stop = std::make_unique<TcpWakeup>();
  if (!stop->IsValid()) {
    error = errno;
    return false;
  }
  TcpSocket socket = TcpListen(port, error);
  if (!socket.IsOpen()) return false;
  port_ = TcpLocalPort(socket);
  listenSocket_ = std::move(socket);
  const int stopFd = stop->Fd();
  stop_ = std::move(stop);
  pool_ = std::make_unique<CConnectionPool>(
      CConnectionPool::Limits{options_.maxConnections, kKeptIdleWorkers, kIdleWorkerLifetime},
      [this, stopFd](PooledConnection& connection) {
        connection.handler->Run(std::move(connection.socket), stopFd);
        connection.handler.reset();
        --connectionCount_;
      },
      [this, stopFd](PooledConnection& connection) {
        TcpGracefulClose(connection.socket, stopFd);
        --connectionCount_;
      });
  listenerThread_ = std::thread([this] { ListenLoop(); });
  return true;
}

void CSocketListener::Stop() {
  if (!listenerThread_.joinable()) return;
  // The pool first stops taking connections from its queue, so none is
  // greeted after the stop; then the stop signal ends the listener thread
  // and every connection after its graceful close.
  pool_->Stop([this] { stop_->Signal(); });
  listenerThread_.join();
  listenSocket_.Close();
  stop_.reset();
  port_ = 0;
}

void CSocketListener::ListenLoop() {
  while (true) {
    const TcpWaitResult wait = TcpWaitReadable(listenSocket_.Fd(), stop_->Fd(), -1);
    if (wait != TcpWaitResult::Ready) break;
    Accept();
  }
}

void CSocketListener::Accept() {
  while (true) {
    int error = 0;
    TcpSocket socket = TcpAccept(listenSocket_, error);
    if (!socket.IsOpen()) {
      // Out of descriptors: give the system a moment rather than spinning.
      if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
        TcpWaitReadable(stop_->Fd(), -1, 100);
      }
      return;
    }
    if (options_.maxConnections != 0 && connectionCount_ >= options_.maxConnections) {
      if (!options_.rejectReply.empty()) {
        int sendError = 0;
        TcpSendAll(socket, options_.rejectReply, 1000, sendError);
      }
      if (options_.onRejected) options_.onRejected(TcpPeerName(socket));
      continue;  // the socket closes here
    }
    std::unique_ptr<CSocketServer> handler = factory_();
    if (!handler) continue;
    ++connectionCount_;
    pool_->Submit({std::move(handler), std::move(socket)});
  }
}

}  // namespace meldrix
