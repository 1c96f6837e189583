#include "sources/SocketMessageSource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "util/StringTable.h"

namespace meldrix {

bool CSocketMessageSource::Open(const OutPortServices& services) {
  char text[160];
  // Port 0 would listen on a random port nobody knows; refuse it with the rest.
  if (settings_.m_SocketPort <= 0 || settings_.m_SocketPort > 65535) {
    std::snprintf(text, sizeof text, "Socket source %s: invalid port %ld", settings_.m_Name.c_str(),
                  settings_.m_SocketPort);
    services.ShowError(text);
    return false;
  }
  if (!listener_) listener_ = std::make_unique<CSocketSourceListener>();
  int error = 0;
  const long idleMs = std::clamp<long>(settings_.m_IdleTimeout, 0, 24 * 3600) * 1000;
  if (!listener_->Start(static_cast<std::uint16_t>(settings_.m_SocketPort), error, static_cast<int>(idleMs))) {
    std::snprintf(text, sizeof text, "Socket source %s: cannot listen on port %ld (%s)",
                  settings_.m_Name.c_str(), settings_.m_SocketPort, std::strerror(error));
    services.ShowError(text);
    return false;
  }
  return true;
}

void CSocketMessageSource::Close() {
  if (listener_) listener_->Stop();
}

std::string CSocketMessageSource::Describe() const {
  char port[32];
  std::snprintf(port, sizeof port, " %u", static_cast<unsigned>(settings_.m_SocketPort));
  return LoadText("IDS_DESCRIBE_SOCKET") + port;
}

std::uint32_t CSocketMessageSource::Poll(IMessageSink& sink, const OutPortServices& services) {
  if (!listener_) return kSourcePollMs;
  for (const std::string& line : listener_->TakeLogLines()) services.Log(line);
  // Block after block until the message limit of a poll is reached or the
  // list is empty; a receive error entry is traced by the buffer list
  // itself. The byte limit keeps one poll short when blocks hold no line
  // ends (the assembly cuts such text at its maximum length anyway).
  bool full = false;
  std::size_t bytes = 0;
  const auto step = [&sink, &full, &bytes](char c) {
    ++bytes;
    if (sink.TakeByte(static_cast<unsigned char>(c)) && bytes < kMaxBytesPerPoll) return true;
    full = true;
    return false;
  };
  while (!full) {
    if (listener_->Poll(step) == CSocketBufferList::PollResult::Empty) return kSourcePollMs;
  }
  return 0;  // more may wait: read on at once
}

}  // namespace meldrix
