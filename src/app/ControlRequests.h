// The operator's requests to a running instance ("meldrix --status" and the
// like), carried over the single-instance socket.
//
// A request is the verb on its first line ("activate", "deactivate",
// "status", "clear"), optionally followed by "password <text>". The reply's
// first line is "ok", "refused", "password" (the request needs the
// password) or "error"; the lines after it are the text for the operator.
#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "app/CommandLine.h"

namespace meldrix {

class CMainLoop;
class CMeldrixRights;
class IEngineHost;

// What a request acts on, in the running program.
struct ControlTarget {
  IEngineHost& engine;
  CMainLoop& mainLoop;
  // No object means no password protection; the front end may replace it.
  std::unique_ptr<CMeldrixRights>& rights;
};

// The running program's side: carries out one request, returns the reply.
std::string HandleControlRequest(const std::string& request, ControlTarget& target);

struct ControlReply {
  enum class Kind { Ok, Refused, NeedsPassword, Error };
  Kind kind = Kind::Error;
  std::string text;
};
ControlReply ParseControlReply(const std::string& reply);
std::string ControlRequestText(CMessageCommandLineInfo::Action action,
                               const std::optional<std::string>& password = std::nullopt);

// The client's side: sends the request of `commandLine` to the running
// instance of its name; when the instance asks for the password, reads it
// from `in` (without echo on a terminal) and sends again. Prints the reply;
// returns 0 when the request took, 1 otherwise.
int RunControlClient(const CMessageCommandLineInfo& commandLine, std::istream& in,
                     std::ostream& out, std::ostream& err);

}  // namespace meldrix
