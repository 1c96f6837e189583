#include "sources/SocketSource.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace meldrix {

void CSocketSource::OnBytesReceived(const char* data, std::size_t length) {
  lastReceived_ = std::chrono::steady_clock::now();
  if (!buffers_.Append(data, length)) CloseConnection();
}

int CSocketSource::TimeLeftMs() const {
  if (idleTimeoutMs_ <= 0) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      lastReceived_ + std::chrono::milliseconds(idleTimeoutMs_) - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

void CSocketSource::OnReceiveError(int error) {
  (void)error;
  buffers_.AppendReceiveError();
}

CSocketSourceListener::CSocketSourceListener(std::size_t maxBufferedBytes, std::size_t maxConnections)
    : buffers_(maxBufferedBytes),
      listener_(
          [this]() -> std::unique_ptr<CSocketServer> {
            return std::make_unique<CSocketSource>(buffers_, idleTimeoutMs_);
          },
          CSocketListener::Options{maxConnections, {}, [this, maxConnections](const std::string& peer) {
                                     std::lock_guard lock(logMutex_);
                                     logLines_.push_back("Socket source: connection from " + peer +
                                                         " refused, already " + std::to_string(maxConnections) +
                                                         " connections");
                                   }}) {}

CSocketSourceListener::~CSocketSourceListener() { Stop(); }

bool CSocketSourceListener::Start(std::uint16_t port, int& error, int idleTimeoutMs) {
  Stop();
  idleTimeoutMs_ = idleTimeoutMs;
  buffers_.Reopen();
  return listener_.Start(port, error);
}

std::vector<std::string> CSocketSourceListener::TakeLogLines() {
  std::lock_guard lock(logMutex_);
  return std::exchange(logLines_, {});
}

void CSocketSourceListener::Stop() {
  // Connection threads waiting for room must see the stop too.
  buffers_.Shutdown();
  listener_.Stop();
}

}  // namespace meldrix
