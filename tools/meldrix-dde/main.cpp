// meldrix-dde: a DDE client and a small DDE server for scripts and tests.
//
//   meldrix-dde [--unicode] execute SERVICE TOPIC COMMAND
//   meldrix-dde [--unicode] request SERVICE TOPIC ITEM
//   meldrix-dde [--unicode] poke SERVICE TOPIC ITEM VALUE
//   meldrix-dde [--unicode] advise SERVICE TOPIC ITEM [--count N]
//   meldrix-dde list
//   meldrix-dde serve SERVICE TOPIC [ITEM=VALUE ...]
//
// SERVICE may be "Name@pid" to address one process. Arguments and output are
// UTF-8; --unicode sends CF_UNICODETEXT instead of CF_TEXT (Windows-1252).
// Exit status: 0 success, 1 the partner refused the transaction (or did not
// answer in time), 2 no conversation could be established, 3 usage error.
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "DdeText.h"
#include "platform/Cp1252.h"
#include "platform/DdeInstance.h"
#include "platform/EventLoop.h"
#include "platform/Signals.h"

namespace meldrix::ddetool {
namespace {

constexpr int kRefused = 1;
constexpr int kNoConversation = 2;
constexpr int kUsage = 3;

int Usage() {
  std::cerr << "usage: meldrix-dde [--unicode] execute SERVICE TOPIC COMMAND\n"
               "       meldrix-dde [--unicode] request SERVICE TOPIC ITEM\n"
               "       meldrix-dde [--unicode] poke SERVICE TOPIC ITEM VALUE\n"
               "       meldrix-dde [--unicode] advise SERVICE TOPIC ITEM [--count N]\n"
               "       meldrix-dde list\n"
               "       meldrix-dde serve SERVICE TOPIC [ITEM=VALUE ...]\n";
  return kUsage;
}

std::string Hex(std::uint32_t code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%04X", code);
  return buffer;
}

int Fail(int status, const std::string& what, std::uint32_t code) {
  std::cerr << "meldrix-dde: " << what << " (DMLERR " << Hex(code) << ")" << std::endl;
  return status;
}

struct Options {
  std::uint16_t format = CF_TEXT;
  long count = -1;
  std::vector<std::string> args;
};

// Runs the instance's callbacks from an event loop until SIGTERM or SIGINT
// (or `loop.Quit()`).
int RunLoop(EventLoop& loop, DdeInstance& instance) {
  SignalWatcher signals(loop, [&loop](int) { loop.Quit(0); });
  loop.Watch(instance.Descriptor(), POLLIN, [&instance](short) { instance.Pump(); });
  return loop.Run();
}

int Client(const std::string& command, const Options& o) {
  const auto& a = o.args;
  std::size_t want = command == "poke" ? 4 : 3;
  if (a.size() != want) return Usage();
  EventLoop loop;
  long received = 0;
  DdeInstance instance(
      [&](const DdeTransaction& t) {
        DdeAnswer answer;
        if (t.type != XTYP_ADVDATA) return answer;
        std::string text;
        if (DecodeFromWire(t.data, t.format, text)) {
          std::cout << text << std::endl;
          if (o.count > 0 && ++received >= o.count) loop.Quit(0);
        }
        answer.value = DDE_FACK;
        return answer;
      },
      APPCMD_CLIENTONLY);
  if (!instance.Initialized()) return Fail(kNoConversation, instance.InitError(), DMLERR_SYS_ERROR);
  DdeConv conv = instance.Connect(a[0], a[1]);
  if (conv == 0)
    return Fail(kNoConversation, "no conversation with " + a[0] + "|" + a[1],
                instance.GetLastError());
  std::string what = command + " " + a[0] + "|" + a[1] + "!" + a[2];
  if (command == "execute") {
    what = "execute " + a[0] + "|" + a[1] + " \"" + a[2] + "\"";
    if (!instance.ClientTransaction(conv, XTYP_EXECUTE, "", o.format,
                                    EncodeForWire(a[2], o.format), kDdeTimeoutMs))
      return Fail(kRefused, what + " failed", instance.GetLastError());
    return 0;
  }
  if (command == "request") {
    std::string data, text;
    if (!instance.ClientTransaction(conv, XTYP_REQUEST, a[2], o.format, "", kDdeTimeoutMs, &data))
      return Fail(kRefused, what + " failed", instance.GetLastError());
    DecodeFromWire(data, o.format, text);
    std::cout << text << std::endl;
    return 0;
  }
  if (command == "poke") {
    if (!instance.ClientTransaction(conv, XTYP_POKE, a[2], o.format,
                                    EncodeForWire(a[3], o.format), kDdeTimeoutMs))
      return Fail(kRefused, what + " failed", instance.GetLastError());
    return 0;
  }
  // advise
  if (!instance.ClientTransaction(conv, XTYP_ADVSTART, a[2], o.format, "", kDdeTimeoutMs))
    return Fail(kRefused, what + " failed", instance.GetLastError());
  if (o.count == 0) return 0;
  // Data that came with the acknowledgement's wait is already printed.
  if (o.count > 0 && received >= o.count) return 0;
  RunLoop(loop, instance);
  return 0;
}

int List() {
  DdeInstance instance(nullptr, APPCMD_CLIENTONLY);
  if (!instance.Initialized()) return Fail(kNoConversation, instance.InitError(), DMLERR_SYS_ERROR);
  for (const DdeServiceTopic& p : instance.WildConnect("", ""))
    std::cout << Cp1252ToUtf8(p.service) << '\t' << p.pid << '\t' << Cp1252ToUtf8(p.topic)
              << std::endl;
  return 0;
}

int Serve(const Options& o) {
  const auto& a = o.args;
  if (a.size() < 2) return Usage();
  std::string service = Utf8ToCp1252(a[0]);
  std::string topic = Utf8ToCp1252(a[1]);
  std::map<std::string, std::string> values;  // upper-case name -> UTF-8 value
  std::map<std::string, std::string> names;   // upper-case name -> name as given
  for (std::size_t i = 2; i < a.size(); ++i) {
    std::size_t eq = a[i].find('=');
    if (eq == std::string::npos || eq == 0) return Usage();
    std::string name = Utf8ToCp1252(a[i].substr(0, eq));
    values[Cp1252Upper(name)] = a[i].substr(eq + 1);
    names[Cp1252Upper(name)] = name;
  }
  std::vector<std::string> changed;
  DdeInstance* self = nullptr;
  DdeInstance instance(
      [&](const DdeTransaction& t) {
        DdeAnswer answer;
        std::string key = Cp1252Upper(t.item);
        switch (t.type) {
          case XTYP_CONNECT: answer.value = EqualsNoCaseAscii(t.topic, topic); break;
          case XTYP_WILDCONNECT:
            if (t.topic.empty() || EqualsNoCaseAscii(t.topic, topic))
              answer.pairs.push_back({service, 0, topic});
            break;
          case XTYP_EXECUTE: {
            std::string text;
            if (DecodeFromWire(t.data, t.format, text)) {
              std::cout << "EXECUTE " << text << std::endl;
              answer.value = DDE_FACK;
            }
            break;
          }
          case XTYP_POKE: {
            std::string text;
            if (!DecodeFromWire(t.data, t.format, text)) break;
            std::cout << "POKE " << Cp1252ToUtf8(t.item) << "=" << text << std::endl;
            if (!names.count(key)) names[key] = t.item;
            if (values[key] != text) changed.push_back(t.item);
            values[key] = text;
            answer.value = DDE_FACK;
            break;
          }
          case XTYP_REQUEST:
          case XTYP_ADVREQ: {
            auto it = values.find(key);
            if (it == values.end()) break;
            if (t.format != CF_TEXT && t.format != CF_UNICODETEXT) break;
            answer.value = 1;
            answer.data = EncodeForWire(it->second, t.format);
            break;
          }
          case XTYP_ADVSTART: answer.value = t.format == CF_TEXT || t.format == CF_UNICODETEXT; break;
          case XTYP_ADVSTOP: answer.value = 1; break;
          default: break;
        }
        return answer;
      },
      0);
  self = &instance;
  if (!instance.Initialized()) return Fail(kNoConversation, instance.InitError(), DMLERR_SYS_ERROR);
  if (!instance.RegisterService(service))
    return Fail(kNoConversation, "cannot register the service " + a[0], instance.GetLastError());
  EventLoop loop;
  SignalWatcher signals(loop, [&loop](int) { loop.Quit(0); });
  loop.Watch(instance.Descriptor(), POLLIN, [&](short) {
    self->Pump();
    // Advise loops hear of a poked change after the poke's answer.
    std::vector<std::string> items;
    items.swap(changed);
    for (const std::string& item : items) self->PostAdvise(topic, item);
  });
  return loop.Run();
}

}  // namespace

int Main(int argc, char** argv) {
  BlockProgramSignals();
  Options o;
  std::string command;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--unicode") {
      o.format = CF_UNICODETEXT;
    } else if (arg == "--count") {
      if (++i >= argc) return Usage();
      char* end = nullptr;
      o.count = std::strtol(argv[i], &end, 10);
      if (*end != '\0' || o.count < 0) return Usage();
    } else if (command.empty()) {
      command = arg;
    } else {
      o.args.push_back(arg);
    }
  }
  if (command == "list") return o.args.empty() ? List() : Usage();
  if (command == "serve") return Serve(o);
  if (command == "execute" || command == "request" || command == "poke" || command == "advise") {
    if (o.count >= 0 && command != "advise") return Usage();
    // Names travel as Windows-1252 like every DDE name; the values convert
    // in EncodeForWire.
    Options wire = o;
    for (std::size_t i = 0; i < wire.args.size() && i < 3; ++i)
      if (!(command == "execute" && i == 2)) wire.args[i] = Utf8ToCp1252(wire.args[i]);
    return Client(command, wire);
  }
  return Usage();
}

}  // namespace meldrix::ddetool

int main(int argc, char** argv) { return meldrix::ddetool::Main(argc, argv); }
