// Message boxes. The desktop program installs its own implementation; the
// headless program uses ConsoleUserInterface, which answers at once with the
// default button and reports the text to the log and to standard error.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace meldrix {

inline constexpr char kApplicationName[] = "Meldrix";

// Windows message box style bits (buttons, icon, default button).
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr unsigned kMbAbortRetryIgnore = 0x2;
inline constexpr unsigned kMbYesNoCancel = 0x3;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbRetryCancel = 0x5;
inline constexpr unsigned kMbCancelTryContinue = 0x6;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbDefButton2 = 0x100;
inline constexpr unsigned kMbDefButton3 = 0x200;
inline constexpr unsigned kMbDefButton4 = 0x300;

// Button identifiers returned by MessageBox.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdTryAgain = 10;
inline constexpr int kIdContinue = 11;

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Shows a modal message box (Windows-1252 texts) and returns the button.
  virtual int MessageBox(const std::string& text, const std::string& title, unsigned style) = 0;
};

// The button a message box of this style has as its default.
int DefaultButtonOf(unsigned style);

class ConsoleUserInterface : public UserInterface {
 public:
  // log receives "title: text" (Windows-1252) for the log window.
  explicit ConsoleUserInterface(std::function<void(const std::string&)> log = {});
  int MessageBox(const std::string& text, const std::string& title, unsigned style) override;

 private:
  std::function<void(const std::string&)> log_;
};

// The user interface of the process's environment (platform/Env.h).
std::shared_ptr<UserInterface> CurrentUserInterface();

}  // namespace meldrix
