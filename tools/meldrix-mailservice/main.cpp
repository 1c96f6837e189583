// meldrix-mailservice: the local mail service that kind-6 sources of meldrix
// ask for unread mail. It fetches POP3 mailboxes and answers the four XML
// requests on 127.0.0.1:20010.
#include <curl/curl.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "MailService.h"
#include "ServiceServer.h"

namespace {

using namespace meldrix::mailservice;

constexpr const char* kUsage =
    "Usage: meldrix-mailservice [options]\n"
    "The local mail service of meldrix: answers the requests of its e-mail sources\n"
    "(GetPOP3Msg, GetUnreadedMailsCount, GetNewUnreadMail, SetMailReaded) and fetches\n"
    "the mailboxes they name over POP3.\n"
    "\n"
    "  --address ADDR         IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port PORT            TCP port (default 20010)\n"
    "  --ca-file FILE         trust the CA certificates in FILE for POP3 over TLS\n"
    "                         (default: the system's store; certificates are always verified)\n"
    "  --max-mails N          mails fetched per count request at most (default 500)\n"
    "  --max-mail-size BYTES  larger mails are skipped and stay on the server (default 10485760)\n"
    "  --max-request-size BYTES  larger requests are refused (default 65536)\n"
    "  --max-connections N    connections served at once, 1 to 32 (default 32)\n"
    "  --help                 this text\n"
    "\n"
    "SSL mode 1 means TLS: implicit TLS (POP3S) on port 995, STARTTLS required on\n"
    "any other port; SSL mode 0 is plain POP3. Authentication PLAIN uses SASL PLAIN,\n"
    "AUTO the best the server offers; other modes are refused with a ResultText.\n";

std::mutex logLock;

void Log(const std::string& text) {
  std::lock_guard guard(logLock);
  const std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  std::cerr << stamp << " meldrix-mailservice: " << text << std::endl;
}

bool ParseCount(const char* text, unsigned long long low, unsigned long long high, unsigned long long& value) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ServerOptions server;
  ServiceLimits limits;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (i + 1 >= argc) {
      std::cerr << "meldrix-mailservice: " << option << ": unknown option or missing value\n" << kUsage;
      return 2;
    }
    const char* value = argv[++i];
    unsigned long long number = 0;
    bool ok = true;
    if (option == "--address") {
      server.address = value;
    } else if (option == "--port") {
      ok = ParseCount(value, 1, 65535, number);
      server.port = static_cast<std::uint16_t>(number);
    } else if (option == "--ca-file") {
      limits.caFile = value;
    } else if (option == "--max-mails") {
      ok = ParseCount(value, 1, 100000, number);
      limits.maxMailsPerCount = number;
    } else if (option == "--max-mail-size") {
      ok = ParseCount(value, 1024, 1ull << 30, number);
      limits.maxMailSize = number;
    } else if (option == "--max-request-size") {
      ok = ParseCount(value, 1024, 1ull << 24, number);
      server.maxRequestSize = number;
    } else if (option == "--max-connections") {
      ok = ParseCount(value, 1, 32, number);
      server.maxConnections = number;
    } else {
      std::cerr << "meldrix-mailservice: unknown option " << option << "\n" << kUsage;
      return 2;
    }
    if (!ok) {
      std::cerr << "meldrix-mailservice: invalid value \"" << value << "\" for " << option << "\n";
      return 2;
    }
  }

  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    Log("libcurl could not be initialised");
    return 1;
  }
  // Signals are taken by one thread; every other thread blocks them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  int status = 0;
  {
    CMailService service(limits, Log);
    CServiceServer listener(server, service, Log);
    std::string error;
    if (!listener.Start(error)) {
      Log(error);
      status = 1;
    } else {
      Log("listening on " + server.address + ":" + std::to_string(listener.Port()));
      std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&signals, &signal);
        listener.Stop();
      });
      listener.Run();
      Log("stopping");
      // Wakes the signal thread when Run ended for another reason.
      pthread_kill(signalWaiter.native_handle(), SIGTERM);
      signalWaiter.join();
    }
  }
  curl_global_cleanup();
  return status;
}
