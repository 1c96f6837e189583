#include "platform/UserInterface.h"

#include "platform/Env.h"

#include <cstdio>
#include <mutex>

#include "platform/Cp1252.h"

namespace meldrix {

int DefaultButtonOf(unsigned style) {
  static const int kButtons[][3] = {
      {kIdOk, kIdOk, kIdOk},                    // OK
      {kIdOk, kIdCancel, kIdCancel},            // OK, Cancel
      {kIdAbort, kIdRetry, kIdIgnore},          // Abort, Retry, Ignore
      {kIdYes, kIdNo, kIdCancel},               // Yes, No, Cancel
      {kIdYes, kIdNo, kIdNo},                   // Yes, No
      {kIdRetry, kIdCancel, kIdCancel},         // Retry, Cancel
      {kIdCancel, kIdTryAgain, kIdContinue},    // Cancel, Try Again, Continue
  };
  unsigned set = style & 0xF;
  if (set > 6) set = 0;
  unsigned which = (style >> 8) & 0x3;  // default button 1..4
  if (which > 2) which = 2;
  return kButtons[set][which];
}

ConsoleUserInterface::ConsoleUserInterface(std::function<void(const std::string&)> log)
    : log_(std::move(log)) {}

int ConsoleUserInterface::MessageBox(const std::string& text, const std::string& title,
                                     unsigned style) {
  std::string line = title + ": " + text;
  if (log_) log_(line);
  std::string utf8 = Cp1252ToUtf8(line);
  std::fprintf(stderr, "%s\n", utf8.c_str());
  return DefaultButtonOf(style);
}

std::shared_ptr<UserInterface> CurrentUserInterface() { return ProcessEnv().ui; }

}  // namespace meldrix
