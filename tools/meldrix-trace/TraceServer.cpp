#include "TraceServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Cp1252.h"

namespace meldrix {

namespace {

constexpr size_t kRawPerLine = 16;
constexpr size_t kMaxMessage = 64 * 1024;
// A text longer than this is printed in parts rather than held in memory.
constexpr size_t kMaxHeldText = 1 << 20;

uint32_t Word(const std::string& message, size_t offset) {
  const auto* b = reinterpret_cast<const unsigned char*>(message.data() + offset);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

}  // namespace

TraceServer::TraceServer(Options options, std::FILE* out, std::FILE* log)
    : options_(std::move(options)), out_(out), log_(log) {}

TraceServer::~TraceServer() {
  FlushRaw();
  for (Client& client : clients_) close(client.fd);
  if (listenFd_ >= 0) {
    close(listenFd_);
    if (options_.endpoint.kind == TraceEndpoint::Kind::Unix) unlink(options_.endpoint.path.c_str());
  }
}

bool TraceServer::Listen() {
  std::string error;
  listenFd_ = ListenTraceEndpoint(options_.endpoint, error);
  if (listenFd_ < 0) {
    std::fprintf(log_, "meldrix-trace: cannot listen on %s\n", error.c_str());
    return false;
  }
  std::fprintf(log_, "meldrix-trace: listening on %s, mask 0x%08X\n",
               options_.endpoint.Describe().c_str(), options_.mask);
  std::fflush(log_);
  return true;
}

void TraceServer::Run(const volatile int& stop) {
  std::vector<pollfd> fds;
  while (stop == 0) {
    fds.clear();
    fds.push_back({listenFd_, POLLIN, 0});
    for (const Client& client : clients_) fds.push_back({client.fd, POLLIN, 0});
    int ready = poll(fds.data(), fds.size(), 100);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(log_, "meldrix-trace: poll: %s\n", std::strerror(errno));
      return;
    }
    if (ready == 0) {
      FlushRaw();  // a quiet line shows what came so far
      continue;
    }
    // Clients first, in the order polled; index i+1 in fds is clients_[i].
    for (size_t i = clients_.size(); i-- > 0;) {
      if (fds[i + 1].revents != 0 && !ReadClient(clients_[i])) DropClient(i);
    }
    if (fds[0].revents & POLLIN) Accept();
  }
}

void TraceServer::Accept() {
  int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  Client client;
  client.fd = fd;
  client.id = nextId_++;
  FlushRaw();
  std::fprintf(log_, "meldrix-trace: client %d connected\n", client.id);
  std::fflush(log_);
  clients_.push_back(std::move(client));
}

void TraceServer::DropClient(size_t index) {
  Client& client = clients_[index];
  if (!client.text.empty()) PrintText(client, client.text);  // never lose a partial text
  FlushRaw();
  std::fprintf(log_, "meldrix-trace: client %d disconnected\n", client.id);
  std::fflush(log_);
  close(client.fd);
  clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
}

bool TraceServer::ReadClient(Client& client) {
  std::string buffer(kMaxMessage, '\0');
  ssize_t n = recv(client.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
  if (n < 0) return errno == EINTR || errno == EAGAIN;
  if (n == 0) return false;
  buffer.resize(static_cast<size_t>(n));
  if (options_.endpoint.kind == TraceEndpoint::Kind::Unix) return HandleMessage(client, buffer);

  client.stream.append(buffer);
  while (client.stream.size() >= 4) {
    uint32_t length = Word(client.stream, 0);
    if (length > kTraceMaxFrame) return false;
    if (client.stream.size() < 4 + length) break;
    std::string message = client.stream.substr(4, length);
    client.stream.erase(0, 4 + length);
    if (!HandleMessage(client, message)) return false;
  }
  return true;
}

bool TraceServer::Answer(Client& client, const std::string& message) {
  std::string frame = message;
  if (options_.endpoint.kind == TraceEndpoint::Kind::Tcp) {
    frame = TraceFrameHeader(static_cast<uint32_t>(message.size())) + message;
  }
  return send(client.fd, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
}

bool TraceServer::HandleMessage(Client& client, const std::string& message) {
  if (message.empty()) return true;
  auto kind = static_cast<unsigned char>(message[0]);
  switch (kind) {
    case 2: {
      std::string answer(8, '\0');
      for (int i = 0; i < 4; ++i) answer[i] = static_cast<char>((options_.mask >> (8 * i)) & 0xFF);
      return Answer(client, answer);
    }
    case 4: {
      client.text.append(message, 1);
      size_t end = client.text.find('\0');
      if (end != std::string::npos) {
        std::string text = client.text.substr(0, end);
        client.text.clear();
        PrintText(client, text);
      } else if (client.text.size() > kMaxHeldText) {
        PrintText(client, client.text);
        client.text.clear();
      }
      return true;
    }
    case 5:
      if (message.size() >= 5) {
        FlushRaw();
        std::fprintf(out_, "ALERT %08X\n", Word(message, 1));
        std::fflush(out_);
      }
      return true;
    case 7:
    case 8:
      if (message.size() >= 2) AddRawByte(client.id, kind == 8, static_cast<unsigned char>(message[1]));
      return true;
    case 9:
      if (message.size() >= 5) client.category = Word(message, 1);
      return true;
    default:
      FlushRaw();
      std::fprintf(log_, "meldrix-trace: client %d sent unknown message %02X (%zu bytes)\n", client.id,
                   kind, message.size());
      std::fflush(log_);
      return true;
  }
}

void TraceServer::PrintText(Client& client, const std::string& text) {
  FlushRaw();
  if (options_.showCategories) std::fprintf(out_, "[%08X] ", client.category);
  client.category = 0;
  std::string utf8 = Cp1252ToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), out_);
  if (utf8.empty() || utf8.back() != '\n') std::fputc('\n', out_);
  std::fflush(out_);
}

void TraceServer::AddRawByte(int client, bool directionFlag, unsigned char byte) {
  if (!raw_.empty() && (client != rawClient_ || directionFlag != rawDirection_)) FlushRaw();
  rawClient_ = client;
  rawDirection_ = directionFlag;
  raw_.push_back(byte);
  if (raw_.size() >= kRawPerLine) FlushRaw();
}

void TraceServer::FlushRaw() {
  if (raw_.empty()) return;
  // The direction flag is clear for received bytes.
  std::fputs(rawDirection_ ? "TX" : "RX", out_);
  for (unsigned char byte : raw_) std::fprintf(out_, " %02X", byte);
  std::fputc('\n', out_);
  std::fflush(out_);
  raw_.clear();
}

}  // namespace meldrix
