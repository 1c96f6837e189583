#include "app/ControlRequests.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "app/EngineHost.h"
#include "app/MainLoop.h"
#include "app/Password.h"
#include "platform/Cp1252.h"
#include "platform/SingleInstance.h"
#include "util/StreamDoc.h"
#include "util/StringTable.h"

namespace meldrix {

namespace {

using Action = CMessageCommandLineInfo::Action;

constexpr char kPasswordPrefix[] = "password ";

std::string Reply(const char* kind, const std::string& text) {
  return std::string(kind) + "\n" + text + (text.empty() || text.back() == '\n' ? "" : "\n");
}

// The password that came with the request, in place of the dialog.
class GivenPassword : public IPasswordPrompt {
 public:
  explicit GivenPassword(std::optional<std::string> password) : password_(std::move(password)) {}
  std::optional<std::string> AskPassword() override { return password_; }
  void ShowIncorrect() override { incorrect_ = true; }
  bool Incorrect() const { return incorrect_; }

 private:
  std::optional<std::string> password_;
  bool incorrect_ = false;
};

std::string StatusReply(ControlTarget& target) {
  IEngineHost& engine = target.engine;
  std::string text = engine.IsActive() ? "Processing: active\n" : "Processing: inactive\n";
  text += Cp1252ToUtf8(engine.CountersText()) + "\n";
  if (const std::string file = engine.ConfigFile(); !file.empty())
    text += "Configuration: " + file + "\n";
  // Activation opens every source or none, so their state is the processing state.
  text += engine.IsActive() ? "Sources (open):\n" : "Sources (closed):\n";
  std::string overview = Cp1252ToUtf8(engine.OverviewText());
  for (std::size_t pos = 0; (pos = overview.find('\r', pos)) != std::string::npos;)
    overview.erase(pos, 1);
  if (overview.empty()) overview = "  none\n";
  return Reply("ok", text + overview);
}

std::string ActivationReply(Action action, const std::optional<std::string>& password,
                            ControlTarget& target) {
  if (target.rights && target.rights->IsProtected(kRightActivate) && !password)
    return Reply("password", "The password is needed.");
  GivenPassword prompt(password);
  if (!AskForRight(target.rights.get(), kRightActivate, prompt))
    return Reply("refused", Cp1252ToUtf8(LoadText("IDS_PASSWORD_INCORRECT")));
  IEngineHost& engine = target.engine;
  if (action == Action::Deactivate) {
    if (engine.IsActive()) engine.Deactivate();
    target.mainLoop.UpdateServiceStatus();
    return Reply("ok", "Processing is inactive.");
  }
  if (engine.IsActive()) return Reply("ok", "Processing is already active.");
  if (!target.mainLoop.Activate())
    return Reply("refused", "Processing could not be activated; the log says why.");
  return Reply("ok", "Processing is active.");
}

const char* VerbOf(Action action) {
  switch (action) {
    case Action::Activate: return "activate";
    case Action::Deactivate: return "deactivate";
    case Action::Status: return "status";
    case Action::Clear: return "clear";
    default: return "";
  }
}

std::optional<std::string> ReadPassword(std::istream& in, std::ostream& err) {
  const bool terminal = &in == &std::cin && ::isatty(STDIN_FILENO) == 1;
  termios saved{};
  if (terminal) {
    err << "Password: " << std::flush;
    ::tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string line;
  const bool got = static_cast<bool>(std::getline(in, line));
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    err << std::endl;
  }
  if (!got) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::string ControlRequestText(Action action, const std::optional<std::string>& password) {
  std::string text = std::string(VerbOf(action)) + "\n";
  if (password) text += kPasswordPrefix + *password + "\n";
  return text;
}

std::string HandleControlRequest(const std::string& request, ControlTarget& target) {
  const auto lineEnd = request.find('\n');
  const std::string verb = request.substr(0, lineEnd);
  std::optional<std::string> password;
  if (lineEnd != std::string::npos) {
    std::string rest = request.substr(lineEnd + 1);
    if (!rest.empty() && rest.back() == '\n') rest.pop_back();
    if (rest.rfind(kPasswordPrefix, 0) == 0) {
      // The typed password in the program's own character set.
      password = Utf8ToCp1252(rest.substr(sizeof kPasswordPrefix - 1));
    } else if (!rest.empty()) {
      return Reply("error", "Malformed request.");
    }
  }
  if (verb == "status") return StatusReply(target);
  if (verb == "activate") return ActivationReply(Action::Activate, password, target);
  if (verb == "deactivate") return ActivationReply(Action::Deactivate, password, target);
  if (verb == "clear") {
    target.engine.Log().Clear();
    return Reply("ok", "The log is cleared.");
  }
  return Reply("error", "Unknown request \"" + verb + "\".");
}

ControlReply ParseControlReply(const std::string& reply) {
  const auto lineEnd = reply.find('\n');
  const std::string kind = reply.substr(0, lineEnd);
  ControlReply parsed;
  parsed.text = lineEnd == std::string::npos ? "" : reply.substr(lineEnd + 1);
  if (kind == "ok") parsed.kind = ControlReply::Kind::Ok;
  else if (kind == "refused") parsed.kind = ControlReply::Kind::Refused;
  else if (kind == "password") parsed.kind = ControlReply::Kind::NeedsPassword;
  else if (kind != "error") parsed.text = "Unexpected reply from the running instance.\n";
  return parsed;
}

int RunControlClient(const CMessageCommandLineInfo& commandLine, std::istream& in,
                     std::ostream& out, std::ostream& err) {
  std::optional<std::string> password;
  for (;;) {
    std::string error;
    const auto raw = SingleInstance::Request(
        commandLine.windowClass, ControlRequestText(commandLine.action, password), error);
    if (!raw) {
      err << "meldrix: " << error << std::endl;
      return 1;
    }
    const ControlReply reply = ParseControlReply(*raw);
    if (reply.kind == ControlReply::Kind::NeedsPassword && !password) {
      password = ReadPassword(in, err);
      if (password) continue;
      err << "meldrix: the request needs the password; none was given on standard input"
          << std::endl;
      return 1;
    }
    if (reply.kind == ControlReply::Kind::Ok) {
      out << reply.text << std::flush;
      return 0;
    }
    err << "meldrix: " << reply.text << std::flush;
    return 1;
  }
}

}  // namespace meldrix
