// The SMTP dialogue's traces, read by a small trace server on a temporary
// local socket that the process-wide trace channel is pointed at.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "sources/SmtpSvrSocketHandler.h"
#include "util/Trace.h"

namespace meldrix {
namespace {

// Answers polls with a fixed mask and keeps the trace texts it receives.
class TextTraceServer {
 public:
  TextTraceServer(std::string path, std::uint32_t mask) : path_(std::move(path)), mask_(mask) {
    endpoint_.path = path_;
    std::string error;
    listenFd_ = ListenTraceEndpoint(endpoint_, error);
    EXPECT_GE(listenFd_, 0) << error;
    thread_ = std::thread([this] { Serve(); });
  }
  ~TextTraceServer() {
    ::shutdown(listenFd_, SHUT_RDWR);
    if (int fd = clientFd_.load(); fd >= 0) ::shutdown(fd, SHUT_RDWR);
    thread_.join();
    ::close(listenFd_);
    ::unlink(path_.c_str());
  }
  const TraceEndpoint& Endpoint() const { return endpoint_; }

  // The texts received so far, once text appears or the time is up.
  std::vector<std::string> WaitForText(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard lock(mutex_);
        for (const std::string& t : texts_) {
          if (t == text) return texts_;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  void Serve() {
    const int fd = ::accept(listenFd_, nullptr, nullptr);
    if (fd < 0) return;
    clientFd_ = fd;
    std::string buffer(65536, '\0');
    while (true) {
      const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
      if (n <= 0) break;
      if (buffer[0] == '\x02') {
        char answer[8] = {};
        for (int i = 0; i < 4; ++i) answer[i] = static_cast<char>(mask_ >> (8 * i));
        ::send(fd, answer, sizeof answer, MSG_NOSIGNAL);
      } else if (buffer[0] == '\x04' && n > 1) {
        std::lock_guard lock(mutex_);
        texts_.emplace_back(buffer.data() + 1, static_cast<std::size_t>(n - 2));  // without the final zero
      }
    }
    ::close(fd);
  }

  std::string path_;
  std::uint32_t mask_;
  TraceEndpoint endpoint_;
  int listenFd_ = -1;
  std::atomic<int> clientFd_{-1};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> texts_;
};

class SilentHandler : public CSmtpSvrSocketHandler {
 public:
  bool Send(std::string_view) override { return true; }
};

TEST(SmtpTraceTest, RepliesReceivedLinesAndDecodingAreTraced) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("smtp-trace-" + std::to_string(::getpid()))).string();
  TextTraceServer server(path, kTraceMail);
  ProcessTraceChannel().Reset([&] { return server.Endpoint(); });

  SilentHandler handler;
  handler.OnConnectionOpened();
  const std::string script =
      "HELO x\r\nMAIL From: <a@b>\r\nDATA\r\nContent-Transfer-Encoding: base64\r\n\r\nQWxhcm0=\r\n.\r\n";
  handler.OnBytesReceived(script.data(), script.size());
  const auto texts = server.WaitForText("SMTP TX(9): 250 ok.<CR><LF>\n");
  ProcessTraceChannel().Reset([] { return TraceEndpoint{}; });

  const std::vector<std::string> expected = {
      "SMTP TX(32): 220 ostravel SMTP message sink<CR><LF>\n",
      "SMTP RX(6): HELO x\n",
      "SMTP TX(25): 250 ostravel says hello<CR><LF>\n",
      "SMTP RX(16): MAIL From: <a@b>\n",
      "MailMessage: BodyEncoding - base64 \n",
      "DecodeText: ContentEncoding - base64 \n",
      "DecodeText: Base64 detected\n",
      "DecodeText: Decoded: Alarm \n",
      "SMTP TX(9): 250 ok.<CR><LF>\n",
  };
  for (const std::string& text : expected) {
    EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
  }
}

}  // namespace
}  // namespace meldrix
