#include "ServiceServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "sources/MailServiceProtocol.h"

namespace meldrix::mailservice {

CServiceServer::CServiceServer(ServerOptions options, CMailService& service,
                               std::function<void(const std::string&)> log)
    : options_(std::move(options)), service_(service), log_(std::move(log)) {}

CServiceServer::~CServiceServer() {
  Stop();
  std::unique_lock guard(lock_);
  slotFree_.wait(guard, [this] { return active_ == 0; });
  for (std::thread& thread : threads_) thread.join();
}

bool CServiceServer::Start(std::string& error) {
  // The platform's listener binds every address; this service holds
  // passwords and listens on one address only (loopback by default).
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options_.port);
  if (::inet_pton(AF_INET, options_.address.c_str(), &address.sin_addr) != 1) {
    error = "invalid address " + options_.address + " (an IPv4 address is needed)";
    return false;
  }
  TcpSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  const int on = 1;
  if (!socket.IsOpen() || ::setsockopt(socket.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(socket.Fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket.Fd(), SOMAXCONN) != 0) {
    error = "cannot listen on " + options_.address + ":" + std::to_string(options_.port) + ": " +
            std::strerror(errno);
    return false;
  }
  listener_ = std::move(socket);
  return true;
}

std::uint16_t CServiceServer::Port() const { return TcpLocalPort(listener_); }

void CServiceServer::Stop() { stop_.Signal(); }

void CServiceServer::Run() {
  while (!stop_.IsSignalled()) {
    {
      std::unique_lock guard(lock_);
      // Finished threads are joined here, on the accepting thread.
      for (auto it = threads_.begin(); it != threads_.end();) {
        const auto done = std::find(finished_.begin(), finished_.end(), it->get_id());
        if (done == finished_.end()) {
          ++it;
          continue;
        }
        finished_.erase(done);
        it->join();
        it = threads_.erase(it);
      }
      // At the connection limit new clients wait in the backlog.
      if (!slotFree_.wait_for(guard, std::chrono::milliseconds(200),
                              [this] { return active_ < options_.maxConnections; }))
        continue;
    }
    if (TcpWaitReadable(listener_.Fd(), stop_.Fd(), 1000) != TcpWaitResult::Ready) continue;
    int error = 0;
    TcpSocket connection = TcpAccept(listener_, error);
    if (!connection.IsOpen()) continue;
    std::lock_guard guard(lock_);
    ++active_;
    threads_.emplace_back([this, socket = std::move(connection)]() mutable {
      Serve(std::move(socket));
      std::lock_guard done(lock_);
      --active_;
      finished_.push_back(std::this_thread::get_id());
      slotFree_.notify_all();
    });
  }
}

void CServiceServer::Serve(TcpSocket connection) {
  std::string request;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.requestTimeoutMs);
  char buffer[8192];
  bool complete = false;
  while (!complete) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    if (TcpWaitReadable(connection.Fd(), stop_.Fd(), static_cast<int>(left.count())) != TcpWaitResult::Ready) break;
    int error = 0;
    const long got = TcpReceive(connection, buffer, sizeof buffer, error);
    if (got == 0) break;
    if (got < 0) {
      if (error == EAGAIN || error == EINTR) continue;
      break;
    }
    request.append(buffer, static_cast<std::size_t>(got));
    if (request.size() > options_.maxRequestSize) {
      Log("request from " + TcpPeerName(connection) + " larger than " + std::to_string(options_.maxRequestSize) +
          " bytes refused");
      request.clear();
      const std::string reply = MailXmlDocumentText(
          {{"ResultCode", "1"}, {"ResultText", "request larger than " + std::to_string(options_.maxRequestSize) + " bytes"}});
      TcpSendAll(connection, reply, 10000, error, stop_.Fd());
      TcpGracefulClose(connection, stop_.Fd());
      return;
    }
    complete = CMailXmlDocument::IsComplete(request);
  }
  if (request.empty()) {
    TcpGracefulClose(connection, stop_.Fd());
    return;
  }
  // An incomplete request gets the answer to a malformed one.
  const std::string reply = service_.Handle(request);
  int error = 0;
  TcpSendAll(connection, reply, 30000, error, stop_.Fd());
  TcpGracefulClose(connection, stop_.Fd());
}

}  // namespace meldrix::mailservice
