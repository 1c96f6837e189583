// Message boxes of the desktop program: Windows style bits mapped onto a
// QMessageBox (buttons, icon, default button) and the button pressed mapped
// back onto the Windows answer codes.
#pragma once

#include <QMessageBox>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/UserInterface.h"

namespace meldrix {

class QtUserInterface : public UserInterface {
 public:
  // `fallback` answers for other threads, where no window may be shown, and
  // once `ending` says the program is ending: nobody is left to answer then.
  explicit QtUserInterface(std::shared_ptr<UserInterface> fallback, std::function<bool()> ending = {});
  int MessageBox(const std::string& text, const std::string& title, unsigned style) override;

  // The box for these texts and style bits, and the answer of a box closed
  // with `clicked` (null when closed otherwise); apart for tests.
  static void Prepare(QMessageBox& box, const std::string& text, const std::string& title, unsigned style);
  static int Answer(const QMessageBox& box, unsigned style);

 private:
  std::shared_ptr<UserInterface> fallback_;
  std::function<bool()> ending_;
  std::thread::id owner_;
};

}  // namespace meldrix
