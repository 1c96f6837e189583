// What sources and outputs use from the rest of the program; every member may
// be left empty for its default.
#pragma once

#include <functional>
#include <string>

#include "platform/ConfigValueReader.h"
#include "platform/Printer.h"
#include "platform/SerialLibrary.h"

namespace meldrix {

struct OutPortServices {
  ISerialLibrary* serial = nullptr;  // SerialLibrary() when null
  PrinterFactory printers;           // CLinuxPrinterPort when empty
  ConfigValueReader config;          // section "Ports" for the LPT devices
  // The expansion of expression blocks in a text (pass-through when empty).
  std::function<std::string(const std::string&)> expand;
  // Sets a variable of the expression context ($INFILE).
  std::function<void(const std::string& name, const std::string& value)> setVariable;
  // A message box with the error icon.
  std::function<void(const std::string& text)> showError;
  // One line in the log, for what is worth noting but asks nobody to act.
  std::function<void(const std::string& text)> log;

  ISerialLibrary& SerialOrDefault() const { return serial ? *serial : SerialLibrary(); }
  void ShowError(const std::string& text) const {
    if (showError) showError(text);
  }
  void Log(const std::string& text) const {
    if (log) log(text);
  }
};

}  // namespace meldrix
