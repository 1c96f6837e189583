#include "sources/SocketServer.h"

#include <cerrno>
#include <memory>

namespace meldrix {

bool CSocketServer::Send(std::string_view text) {
  if (!socket_.IsOpen()) return false;
  int error = 0;
  if (!TcpSendAll(socket_, text, kSendTimeoutMs, error, stopFd_)) {
    closeRequested_ = true;  // a peer that takes no replies is given up
    return false;
  }
  return true;
}

void CSocketServer::Run(TcpSocket socket, int stopFd) {
  socket_ = std::move(socket);
  stopFd_ = stopFd;
  // Not zeroed: recv fills what is used, and a short connection touches
  // only the first page of it.
  const auto buffer = std::make_unique_for_overwrite<char[]>(kReceiveChunk);
  OnConnectionOpened();
  while (!closeRequested_) {
    // Checked before waiting: a peer that sends without pause would
    // otherwise never let the wait time out.
    const int left = TimeLeftMs();
    if (left == 0) {
      OnTimeLimit();
      continue;
    }
    const TcpWaitResult wait = TcpWaitReadable(socket_.Fd(), stopFd, left);
    if (wait == TcpWaitResult::TimedOut) continue;  // TimeLeftMs() tells at the top
    if (wait != TcpWaitResult::Ready) break;
    int error = 0;
    const long got = TcpReceive(socket_, buffer.get(), kReceiveChunk, error);
    if (got == 0) break;  // the peer closed
    if (got < 0) {
      if (error == EAGAIN) continue;
      OnReceiveError(error);
      break;
    }
    OnBytesReceived(buffer.get(), static_cast<std::size_t>(got));
  }
  TcpGracefulClose(socket_, stopFd);
  OnConnectionClosed();
}

}  // namespace meldrix
