// meldrix-trace: shows the trace output of Meldrix, e.g. to watch a serial line.
//
//   meldrix-trace [-c] [--socket PATH | --tcp [HOST:]PORT] [MASK]
//
// MASK (decimal or 0x hexadecimal, default 0xFFFFFFFF) is the category mask
// handed to every client that polls: 0x4 protocol states, 0x8 protocol bytes,
// 0x20000 socket errors, 0x80000 mail. Texts are printed as lines (UTF-8), raw
// bytes as "RX 02 01 4A" runs. -c puts each text's categories in front of it.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TraceServer.h"

namespace {

volatile int g_stop = 0;

void OnSignal(int) { g_stop = 1; }

int Usage() {
  std::fprintf(stderr, "usage: meldrix-trace [-c] [--socket PATH | --tcp [HOST:]PORT] [MASK]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace meldrix;
  TraceServer::Options options;
  options.endpoint = TraceEndpointFor(".");
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-c") {
      options.showCategories = true;
    } else if (arg == "--socket" && i + 1 < argc) {
      options.endpoint = TraceEndpoint{};
      options.endpoint.path = argv[++i];
    } else if (arg == "--tcp" && i + 1 < argc) {
      std::string value = argv[++i];
      if (value.find(':') == std::string::npos) value = ":" + value;
      options.endpoint = TraceEndpointFor(value);
    } else if (arg == "-h" || arg == "--help") {
      Usage();
      return 0;
    } else if (!arg.empty() && arg[0] != '-') {
      char* end = nullptr;
      errno = 0;
      unsigned long mask = std::strtoul(arg.c_str(), &end, 0);
      if (errno != 0 || *end != '\0' || mask > 0xFFFFFFFFul) return Usage();
      options.mask = static_cast<uint32_t>(mask);
    } else {
      return Usage();
    }
  }

  struct sigaction action {};
  action.sa_handler = OnSignal;  // no SA_RESTART: poll returns at once
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  TraceServer server(options, stdout, stderr);
  if (!server.Listen()) return 1;
  server.Run(g_stop);
  return 0;
}
