// A TCP client that connects with a time-out and exchanges whole texts (the
// local mail service client talks through it).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/TcpSocket.h"

namespace meldrix {

class CSocketClient {
 public:
  CSocketClient() = default;
  ~CSocketClient() { Close(); }
  CSocketClient(const CSocketClient&) = delete;
  CSocketClient& operator=(const CSocketClient&) = delete;

  // Connects to host (dotted address or name) and port, waiting at most
  // timeoutMs. On failure ErrorText() says why.
  bool Connect(const std::string& host, std::uint16_t port, long timeoutMs);
  // True when the whole text was sent; else LastError() holds the error.
  bool Send(std::string_view text);
  // Received bytes waiting now; 0 on error.
  std::size_t BytesWaiting() const;
  // Reads the bytes waiting now into text and returns their count.
  std::size_t Receive(std::string& text);
  // How ReceiveReply ended.
  enum class ReplyEnd { Complete, PeerClosed, TimedOut, TooLarge, Failed };
  // Reads a reply that may come in pieces: waits for bytes (checking at
  // least every 100 ms) and reads everything that arrives until `complete`
  // holds for the bytes so far, the peer closes, `limitMs` have passed since
  // the call, or more than `maxBytes` arrived. `reply` keeps what was read.
  ReplyEnd ReceiveReply(std::string& reply, long limitMs, std::size_t maxBytes,
                        const std::function<bool(std::string_view)>& complete);
  // Graceful close: shut down, give the peer at most 500 ms to close, discard
  // incoming data for at most 500 ms, close.
  void Close();

  bool IsConnected() const { return connected_; }
  int LastError() const { return lastError_; }
  const std::string& ErrorText() const { return errorText_; }

  // Sending waits this long at most for a peer that does not read.
  static constexpr int kSendTimeoutMs = 30000;

 private:
  TcpSocket socket_;
  bool connected_ = false;
  int lastError_ = 0;
  std::string errorText_;
};

}  // namespace meldrix
