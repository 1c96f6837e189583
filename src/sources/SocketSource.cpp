#include "sources/SocketSource.h"

#include <memory>

namespace meldrix {

void CSocketSource::OnBytesReceived(const char* data, std::size_t length) {
  if (!buffers_.Append(data, length)) CloseConnection();
}

void CSocketSource::OnReceiveError(int error) {
  (void)error;
  buffers_.AppendReceiveError();
}

CSocketSourceListener::CSocketSourceListener(std::size_t maxBufferedBytes)
    : buffers_(maxBufferedBytes),
      listener_([this]() -> std::unique_ptr<CSocketServer> { return std::make_unique<CSocketSource>(buffers_); },
                CSocketListener::Options{kMaxConnections, {}}) {}

CSocketSourceListener::~CSocketSourceListener() { Stop(); }

bool CSocketSourceListener::Start(std::uint16_t port, int& error) {
  Stop();
  buffers_.Reopen();
  return listener_.Start(port, error);
}

void CSocketSourceListener::Stop() {
  // Connection threads waiting for room must see the stop too.
  buffers_.Shutdown();
  listener_.Stop();
}

}  // namespace meldrix
