#include "app/ConsoleMessageBox.h"

#include "app/StreamDoc.h"
#include "util/Cp1252.h"

namespace meldrix {

void CConsoleMessageBox::ShowError(const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (log_) {
    uint32_t previous = log_->Colour();
    log_->SetColour(kLogRed);
    log_->Write(line + "\n");
    log_->SetColour(previous);
  }
  errors_ << "meldrix: " << Cp1252ToUtf8(line) << std::endl;
}

}  // namespace meldrix
