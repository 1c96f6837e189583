// One POP3 session through libcurl: the listing of the mailbox, retrieval
// and deletion of single mails. Every operation of one session runs on the
// same connection, so message numbers stay valid; deletions take effect
// when the session ends (QUIT).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace meldrix::mailservice {

struct Pop3Account {
  std::string server;
  long port = 110;
  std::string user;
  std::string password;
  bool tls = true;         // SSL mode 1
  std::string loginOptions;  // "AUTH=PLAIN" or "AUTH=*"
  long connectTimeoutMs = 10000;
  std::string caFile;  // empty: the system's certificate store
};

struct Pop3Entry {
  long number = 0;
  std::string uid;
  std::size_t size = 0;
};

class Pop3Session {
 public:
  explicit Pop3Session(Pop3Account account);
  ~Pop3Session();
  Pop3Session(const Pop3Session&) = delete;
  Pop3Session& operator=(const Pop3Session&) = delete;

  // Number, unique id and size of every mail (UIDL and LIST).
  std::optional<std::vector<Pop3Entry>> List();
  // The mail of that number; nothing when it fails or grows beyond maxSize.
  std::optional<std::string> Retrieve(long number, std::size_t maxSize, long timeoutMs);
  bool Delete(long number);

  // What the last failed operation reported.
  const std::string& Error() const { return error_; }

  // The URL scheme and the TLS use of an account: implicit TLS on port 995,
  // STARTTLS required elsewhere, plain text without TLS.
  static std::string BaseUrl(const Pop3Account& account);

 private:
  bool Perform(const std::string& path, const char* command, bool noBody, std::string* output,
               std::size_t maxSize, long timeoutMs);

  struct Handle;
  Pop3Account account_;
  std::unique_ptr<Handle> handle_;
  std::string error_;
};

}  // namespace meldrix::mailservice
