// A small trace server: accepts trace clients, answers their polls with a
// fixed category mask and prints what they send, texts as lines and raw bytes
// as hexadecimal runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/TracePipe.h"

namespace meldrix {

class TraceServer {
 public:
  struct Options {
    TraceEndpoint endpoint;
    uint32_t mask = 0xFFFFFFFF;
    bool showCategories = false;
  };
  TraceServer(Options options, std::FILE* out, std::FILE* log);
  ~TraceServer();
  TraceServer(const TraceServer&) = delete;
  TraceServer& operator=(const TraceServer&) = delete;

  // Creates the listening socket; false with a message on the log stream.
  bool Listen();
  // Serves until stop becomes non-zero (checked at least every 100 ms).
  void Run(const volatile int& stop);

 private:
  struct Client {
    int fd = -1;
    int id = 0;
    std::string stream;     // TCP bytes not yet framed
    std::string text;       // pieces of a text not yet complete
    uint32_t category = 0;  // announced by the last message 9
  };

  void Accept();
  // False when the client is gone.
  bool ReadClient(Client& client);
  bool HandleMessage(Client& client, const std::string& message);
  bool Answer(Client& client, const std::string& message);
  void PrintText(Client& client, const std::string& text);
  void AddRawByte(int client, bool directionFlag, unsigned char byte);
  void FlushRaw();
  void DropClient(size_t index);

  Options options_;
  std::FILE* out_;
  std::FILE* log_;
  int listenFd_ = -1;
  int nextId_ = 1;
  std::vector<Client> clients_;
  // The run of raw bytes being collected for one output line.
  int rawClient_ = 0;
  bool rawDirection_ = false;
  std::vector<unsigned char> raw_;
};

}  // namespace meldrix
