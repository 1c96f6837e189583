// Message boxes of the headless program: the text becomes a red line in the
// log and a line on standard error, and the box answers as if its default
// button was pressed.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace meldrix {

class CStreamDoc;

inline constexpr unsigned kLogRed = 0x000000FF;  // 0x00BBGGRR

class CConsoleMessageBox {
 public:
  CConsoleMessageBox(CStreamDoc* log, std::ostream& errors) : log_(log), errors_(errors) {}
  void SetLog(CStreamDoc* log) { log_ = log; }

  // A box with the error icon.
  void ShowError(const std::string& text);

  std::function<void(const std::string&)> AsFunction() {
    return [this](const std::string& text) { ShowError(text); };
  }

 private:
  CStreamDoc* log_;
  std::ostream& errors_;
};

}  // namespace meldrix
